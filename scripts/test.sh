#!/usr/bin/env bash
# Builds the client and runs every test (CMake preset "default", in build/). With --sanitize the
# build uses AddressSanitizer and UndefinedBehaviorSanitizer (preset "sanitize", in
# build-sanitize/).
set -euo pipefail
cd "$(dirname "$0")/.."

preset=default
if [[ "${1:-}" == "--sanitize" ]]; then
    preset=sanitize
fi

bash scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset" --parallel
ctest --preset "$preset" --parallel "$(nproc)"
