#!/usr/bin/env bash
# Says how many lines of C++ files differ from the layout of .clang-format, file by file. It never
# changes a file. Without file arguments it checks the C++ files changed against main (committed,
# uncommitted and new ones); --all checks every C++ file git knows of, as the test command does.
# It exits 0 whatever it finds, unless --strict is given, which makes differences exit 1.
#
#   scripts/format_check.sh [--strict] [--all | FILE...]
#   clang-format-14 -i FILE...   # puts a file into the layout
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

strict=0
all=0
files=()
for arg in "$@"; do
  case "$arg" in
    --strict) strict=1 ;;
    --all) all=1 ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) files+=("$arg") ;;
  esac
done

# The version .clang-format is written for first; any other as a fallback.
formatter=$(command -v clang-format-14 || command -v clang-format || true)
if [ -z "$formatter" ]; then
  echo "format_check: clang-format not found (apt-get install clang-format)" >&2
  [ "$strict" = 1 ] && exit 2
  exit 0
fi

isCpp() { case "$1" in *.cpp|*.h|*.hpp|*.cc) return 0 ;; *) return 1 ;; esac; }

# The C++ files that differ from where this branch left main, plus new files not yet added.
changedFiles() {
  local base
  base=$(git merge-base main HEAD 2>/dev/null) || {
    echo "format_check: no branch main to compare with; name the files" >&2
    return 0
  }
  { git diff --name-only --diff-filter=ACMR "$base"; git ls-files --others --exclude-standard; } | sort -u
}

if [ "$all" = 1 ]; then
  while IFS= read -r f; do files+=("$f"); done < <({ git ls-files; git ls-files --others --exclude-standard; } | sort -u)
elif [ "${#files[@]}" -eq 0 ]; then
  while IFS= read -r f; do files+=("$f"); done < <(changedFiles)
fi

# Lines that a reformat would touch: the old lines it changes or drops, and the lines it adds
# where it drops none.
differingLines() {
  # diff exits 1 when the texts differ: that is the finding, not a failure.
  "$formatter" --style=file "$1" | { diff "$1" - || true; } | awk '
    /^[0-9,]+[acd][0-9,]+$/ { kind = ($0 ~ /a/) ? "a" : "cd"; next }
    /^</ { n++ }
    /^>/ && kind == "a" { n++ }
    END { print n + 0 }'
}

checked=0
differing=0
total=0
for f in "${files[@]}"; do
  [ -f "$f" ] && isCpp "$f" || continue
  checked=$((checked + 1))
  n=$(differingLines "$f")
  if [ "$n" -gt 0 ]; then
    printf '%6d  %s\n' "$n" "$f"
    differing=$((differing + 1))
    total=$((total + n))
  fi
done
echo "format_check: $total line(s) differ from .clang-format in $differing of $checked file(s)"
[ "$strict" = 1 ] && [ "$total" -gt 0 ] && exit 1
exit 0
