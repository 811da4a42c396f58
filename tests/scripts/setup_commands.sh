#!/usr/bin/env bash
# The README's two commands on a copy of the tree, as a new user's machine runs them, with the npm
# registry at a closed port of 127.0.0.1 and no display. apt-get is replaced by a stand-in that
# fails, so a Debian package that is not installed fails the case instead of being fetched.
#
#   setup_commands.sh <case> <source tree> <work folder>
#
#   start-command  the set-up passes without npm, the client builds, and started without a display
#                  it says so and ends with exit code 1
#   test-command   without the store's node_modules the set-up runs npm ci, which fails; the
#                  set-up ends naming that step before anything is built
#   without-sudo   an ordinary user without sudo, a package reported missing: one line naming it
#                  and saying that root or sudo is needed, exit code not 0
set -euo pipefail

case_name=$1
source_tree=$2
work=$3/$case_name

fail() {
    echo "FAIL ($case_name): $1" >&2
    if [[ -n "${2:-}" ]]; then
        tail -n 40 "$2" >&2
    fi
    exit 1
}

# A port of 127.0.0.1 that refuses connections.
closed_port() {
    local port
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 40000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return
        fi
    done
    fail "no closed port found"
}

# The tree as a checkout holds it, without the store's installed packages. Timestamps are kept, so
# the copy's own build folder (kept between runs) builds only what changed.
copy_tree() {
    local tree=$1
    mkdir -p "$tree/tests/upload/s3"
    rm -rf "${tree:?}"/{CMakeLists.txt,CMakePresets.json,cmake,src,resources,scripts}
    rm -rf "$tree/tests/upload/s3"/{*,.[!.]*}
    cp -a "$source_tree"/{CMakeLists.txt,CMakePresets.json,cmake,src,resources,scripts} "$tree/"
    find "$source_tree/tests/upload/s3" -mindepth 1 -maxdepth 1 ! -name node_modules \
        -exec cp -a {} "$tree/tests/upload/s3/" \;
}

mkdir -p "$work/bin" "$work/home"
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get was called ($*): a Debian package the set-up needs is not installed" >&2
exit 100
EOF
chmod +x "$work/bin/apt-get"

# A fresh login's environment: no display, no Qt platform, the npm registry unreachable and an
# empty npm cache. The caller's PATH and compiler cache are kept.
registry_port=$(closed_port)
run_environment=(
    "PATH=$work/bin:$PATH"
    "HOME=$work/home" "LANG=C.UTF-8"
    "npm_config_registry=http://127.0.0.1:$registry_port/"
    "npm_config_cache=$work/npm-cache" "npm_config_fetch_retries=0"
    "npm_config_update_notifier=false"
)
for name in CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER CCACHE_DIR CCACHE_BASEDIR \
    CCACHE_MAXSIZE; do
    if [[ -n "${!name:-}" ]]; then
        run_environment+=("$name=${!name}")
    fi
done
rm -rf "$work/npm-cache"

log=$work/output.log
case $case_name in
    start-command)
        copy_tree "$work/tree"
        status=0
        env -i "${run_environment[@]}" bash "$work/tree/scripts/start.sh" >"$log" 2>&1 || status=$?
        grep -q "^setup: ready$" "$log" || fail "the set-up did not pass" "$log"
        [[ ! -e "$work/tree/tests/upload/s3/node_modules" ]] ||
            fail "the start command installed the store's npm packages" "$log"
        [[ -x "$work/tree/build-release/src/app/brisca-cloudphone/brisca-cloudphone" ]] ||
            fail "the client was not built" "$log"
        [[ $status -eq 1 ]] || fail "the client ended with $status, not 1" "$log"
        tail -n 1 "$log" | grep -q "^❌ 没有可用的显示：.*xvfb-run -a " ||
            fail "the client did not say that there is no display" "$log"
        ;;
    test-command)
        copy_tree "$work/tree"
        status=0
        env -i "${run_environment[@]}" bash "$work/tree/scripts/test.sh" >"$log" 2>&1 || status=$?
        [[ $status -ne 0 ]] || fail "the test command passed without the npm registry" "$log"
        grep -q "^setup: npm ci in tests/upload/s3 failed" "$log" ||
            fail "no line names the npm step" "$log"
        [[ ! -e "$work/tree/build" ]] || fail "the test command built after a failed set-up" "$log"
        ;;
    without-sudo)
        # Outside the build folder, which the other user may not be allowed to read.
        scripts=$(mktemp -d)
        trap 'rm -rf "$scripts"' EXIT
        cp "$source_tree/scripts/setup.sh" "$scripts/"
        mkdir "$scripts/bin"
        # Every package installed except ninja-build; no sudo anywhere on the PATH.
        cat >"$scripts/bin/dpkg-query" <<'EOF'
#!/bin/sh
for last; do :; done
[ "$last" = ninja-build ] && exit 1
printf 'install ok installed'
EOF
        chmod +x "$scripts/bin/dpkg-query"
        ln -s "$(command -v grep)" "$(command -v id)" "$scripts/bin/"
        chmod -R a+rX "$scripts"
        user=()
        if [[ $(id -u) -eq 0 ]]; then
            user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
        fi
        status=0
        "${user[@]}" env -i "PATH=$scripts/bin" HOME=/ LANG=C.UTF-8 /bin/bash \
            "$scripts/setup.sh" >"$log" 2>&1 || status=$?
        [[ $status -ne 0 ]] || fail "the set-up passed with a package missing" "$log"
        expected="setup: missing Debian packages: ninja-build; installing them needs root or sudo"
        [[ "$(cat "$log")" == "$expected" ]] || fail "not the one line expected" "$log"
        ;;
    *)
        fail "unknown case"
        ;;
esac
echo "PASS ($case_name)"
