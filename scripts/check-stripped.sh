#!/bin/bash
# Fails when a Windows executable still carries debug sections or a symbol
# table (a release deliverable ships stripped: its size is what every user
# downloads), or is larger than the limit given before it, or imports a
# library statically that Windows may take from beside it
# (check-imports.sh); prints each file's size and imports.
#   check-stripped.sh [--max-bytes N] EXE [[--max-bytes N] EXE]...
set -euo pipefail
status=0
limit=""
for arg in "$@"; do
  if [ "$arg" = --max-bytes ]; then
    limit=next
    continue
  elif [ "$limit" = next ]; then
    limit="$arg"
    continue
  fi
  exe="$arg"
  name="$(basename "$exe")"
  sections=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '$2 ~ /^\.debug|^\/[0-9]/ {print $2}' | tr '\n' ' ')
  symbols=$(x86_64-w64-mingw32-objdump -t "$exe" 2>/dev/null | grep -c '^\[' || true)
  size=$(stat -c %s "$exe")
  verdict="stripped"
  if [ -n "$sections" ]; then
    verdict="NOT stripped, debug sections: $sections"
    status=1
  elif [ "$symbols" != 0 ]; then
    verdict="NOT stripped, $symbols symbols"
    status=1
  fi
  if [ -n "$limit" ]; then
    if [ "$size" -gt "$limit" ]; then
      verdict="$verdict, LARGER than the limit of $limit bytes"
      status=1
    else
      verdict="$verdict, within the limit of $limit bytes"
    fi
  fi
  printf '%s: %d bytes (%.2f MiB), %s\n' "$name" "$size" "$(awk -v s="$size" 'BEGIN {print s / 1048576}')" "$verdict"
  "$(dirname "$0")/check-imports.sh" "$exe" || status=1
  limit=""
done
exit $status
