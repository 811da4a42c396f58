#!/usr/bin/env bash
# Builds the client and runs every test (CMake preset "default", in build/). With --sanitize the
# build uses AddressSanitizer and UndefinedBehaviorSanitizer (preset "sanitize", in
# build-sanitize/). Its set-up adds the test tools and the test store's npm packages to what the
# client needs.
set -euo pipefail
cd "$(dirname "$0")/.."

preset=default
if [[ "${1:-}" == "--sanitize" ]]; then
    preset=sanitize
fi

bash scripts/setup.sh --tests
cmake --preset "$preset"
cmake --build --preset "$preset" --parallel
ctest --preset "$preset" --parallel "$(nproc)"
