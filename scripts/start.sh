#!/usr/bin/env bash
# Builds the client (release) and starts it. Its set-up installs only the Debian packages the
# client needs; without a display, run it as `xvfb-run -a bash scripts/start.sh`.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKX_BUILD_TESTS=OFF \
    -DKX_BUILD_BENCHMARKS=OFF
cmake --build build-release --parallel --target brisca-cloudphone

# The application folder: the executable with bundle-info.json and the built-in page "pc".
exec build-release/src/app/brisca-cloudphone/brisca-cloudphone "$@"
