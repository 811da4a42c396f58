#!/usr/bin/env bash
# Builds the fuzz targets under fuzz/ with clang 14 (libFuzzer, AddressSanitizer, UBSan) in
# build-fuzz/ and runs each for the given seconds (default 20), starting from a copy of its seed
# corpus in a temporary folder; the repository's corpus is never written. Prints the executions
# per target and fails on the first crash, leak, sanitizer report or violated property.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
build_dir=build-fuzz

bash scripts/setup.sh --tests
cmake --preset fuzz
cmake --build --preset fuzz --parallel --target fuzzers

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share" TMPDIR="$work"
export ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$HOME"

summary=()
for source in fuzz/fuzz_*.cpp; do
    target="$(basename "$source" .cpp)"
    corpus="$work/corpus/$target"
    mkdir -p "$corpus" "$work/artifacts/$target"
    cp -r "fuzz/corpus/$target/." "$corpus/" 2>/dev/null || true
    echo "fuzz: $target for ${seconds}s"
    log="$work/$target.log"
    if ! "$build_dir/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/artifacts/$target/" \
        "$corpus" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz: $target FAILED; reproducer:" "$work/artifacts/$target/"*
        trap - EXIT
        exit 1
    fi
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')"
    summary+=("$(printf '%-26s %12s executions in %ss' "$target" "$runs" "$seconds")")
done

printf 'fuzz: %s\n' "${summary[@]}"
