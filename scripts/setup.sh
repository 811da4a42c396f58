#!/usr/bin/env bash
# Installs every Debian package the client needs to build, run and test, then checks versions.
# Packages already installed are skipped. Run as root or with sudo available.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
    qt6-webengine-dev qt6-webchannel-dev qt6-image-formats-plugins
    qt6-websockets-dev  # the end-to-end test drives the page over the web engine's debugging port
    xvfb xauth imagemagick  # the end-to-end run on a virtual X display, with screenshots
    libssl-dev libarchive-dev zlib1g-dev
    libbenchmark-dev
    clang-14 libclang-rt-14-dev
    curl iproute2
    nginx-light wrk  # the loopback server benchmark's reference and load
    fonts-noto-cjk
    openssl
)
# The upload tests run a local S3-compatible store on Node; a Node already on the machine (from
# another source) is kept.
if ! command -v node >/dev/null 2>&1; then
    packages+=(nodejs)
fi
if ! command -v npm >/dev/null 2>&1; then
    packages+=(npm)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo_cmd=(sudo)
    fi
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
fi

version_at_least() {  # name have want
    if [[ "$(printf '%s\n%s\n' "$3" "$2" | sort -V | head -n1)" != "$3" ]]; then
        echo "setup: $1 $2 is too old, $3 or newer is needed" >&2
        exit 1
    fi
}

version_at_least cmake "$(cmake --version | head -n1 | awk '{print $3}')" 3.25
version_at_least g++ "$(g++ -dumpfullversion)" 12
version_at_least Qt "$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[+~-].*//')" 6.4
version_at_least OpenSSL "$(dpkg-query -W -f='${Version}' libssl-dev | sed 's/[+~-].*//')" 3.0
version_at_least Node "$(node --version | sed 's/^v//')" 18

# The store's packages, exactly as locked.
store_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/upload/s3"
if ! cmp -s "$store_dir/package-lock.json" "$store_dir/node_modules/.installed-lock" 2>/dev/null; then
    echo "setup: installing the test store's npm packages"
    (cd "$store_dir" && npm ci --no-audit --no-fund --loglevel=error &&
        cp package-lock.json node_modules/.installed-lock)
fi
echo "setup: ready"
