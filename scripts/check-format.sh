#!/usr/bin/env bash
# Checks that every .cpp and .h file under src/, tests/, bench/ and fuzz/ is formatted as the
# project's .clang-format says (clang-format 14, which scripts/setup.sh --tests installs). Names
# each file that is not and ends with exit code 1; changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=clang-format-14
if ! command -v "$formatter" >/dev/null 2>&1; then
    echo "check-format: $formatter is missing (bash scripts/setup.sh --tests installs it)" >&2
    exit 1
fi

mapfile -d '' files < <(find src tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) \
    -print0 | sort -z)
# One run over every file; each finding names its file ("file:line:column: error: …").
if report=$("$formatter" --style=file --dry-run --Werror "${files[@]}" 2>&1); then
    echo "check-format: all ${#files[@]} files formatted"
    exit 0
fi
mapfile -t unformatted < <(grep -oE '^[^:]+:[0-9]+:[0-9]+: (error|warning)' <<<"$report" |
    cut -d: -f1 | sort -u)
if ((${#unformatted[@]} == 0)); then
    echo "check-format: $formatter failed:" >&2
    echo "$report" >&2
    exit 1
fi
echo "check-format: ${#unformatted[@]} of ${#files[@]} files are not formatted" \
    "($formatter -i FILE formats one):" >&2
printf '  %s\n' "${unformatted[@]}" >&2
exit 1
