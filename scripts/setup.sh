#!/usr/bin/env bash
# Installs and checks what building and running the client needs: Debian packages only. With
# --tests, also what the tests, benchmarks and fuzz targets need: more Debian packages and the
# test store's pinned npm packages. Packages already installed are skipped; installing the missing
# ones needs root or sudo.
set -euo pipefail

case "${1:-}" in
    "") with_tests=false ;;
    --tests) with_tests=true ;;
    *)
        echo "setup: unknown option $1 (none for the client, --tests for the tests)" >&2
        exit 2
        ;;
esac

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
    libxcb1-dev  # the start asks whether the X display can be opened
    libxcb-xkb-dev  # held keys repeat with presses alone on X
    qt6-wayland  # a Wayland desktop without an X server
    qt6-webengine-dev qt6-webchannel-dev qt6-image-formats-plugins
    libssl-dev libarchive-dev zlib1g-dev
    fonts-noto-cjk
    xvfb xauth  # xvfb-run, for a machine without a display
)
if $with_tests; then
    packages+=(
        # The end-to-end test drives the page over the web engine's debugging port.
        qt6-websockets-dev
        imagemagick  # screenshots of the end-to-end run on a virtual X display
        weston  # a headless Wayland compositor for the end-to-end run on Wayland
        libbenchmark-dev
        clang-14 libclang-rt-14-dev
        clang-format-14  # scripts/check-format.sh
        libxcb-xtest0-dev  # keys pressed on the tests' own X server
        curl iproute2 openssl
        nginx-light wrk  # the loopback server benchmark's reference and load
    )
    # The upload tests run a local S3-compatible store on Node; a Node already on the machine (from
    # another source) is kept.
    if ! command -v node >/dev/null 2>&1; then
        packages+=(nodejs)
    fi
    if ! command -v npm >/dev/null 2>&1; then
        packages+=(npm)
    fi
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    sudo_cmd=()
    if [[ $(id -u) -ne 0 ]]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "setup: missing Debian packages: ${missing[*]};" \
                "installing them needs root or sudo" >&2
            exit 1
        fi
        sudo_cmd=(sudo)
    fi
    echo "setup: installing ${missing[*]}"
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

if $with_tests; then
    version_at_least Node "$(node --version | sed 's/^v//')" 18
    # The store's packages, exactly as locked.
    store_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/upload/s3"
    if ! cmp -s "$store_dir/package-lock.json" "$store_dir/node_modules/.installed-lock" 2>/dev/null
    then
        echo "setup: installing the test store's npm packages"
        if ! (cd "$store_dir" && npm ci --no-audit --no-fund --loglevel=error &&
            cp package-lock.json node_modules/.installed-lock); then
            echo "setup: npm ci in tests/upload/s3 failed (is the npm registry reachable?); the" \
                "tests need it, the client does not (bash scripts/start.sh)" >&2
            exit 1
        fi
    fi
fi
echo "setup: ready"
