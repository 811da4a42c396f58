#!/usr/bin/env bash
# Builds the client and runs every test. With --sanitize the build uses AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${1:-}" == "--sanitize" ]]; then
    build_dir=build-sanitize
    options=(-DCMAKE_BUILD_TYPE=Debug -DKX_SANITIZE=ON -DKX_BUILD_BENCHMARKS=OFF)
fi

bash scripts/setup.sh
cmake -S . -B "$build_dir" -G Ninja "${options[@]}"
cmake --build "$build_dir" --parallel
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)"
