#!/usr/bin/env bash
# Runs test executables with the Wine prefix's screen scale at $1 DPI and puts the scale back after:
#   at_dpi.sh DPI EXE FILTER [EXE FILTER]...
# Wine lays dialogs and fonts out at the prefix's LogPixels, read as each process starts.
set -euo pipefail
dpi=$1
shift
key='HKCU\Control Panel\Desktop'
# reg writes CRLF; it takes the value back as it printed it (0x...).
previous=$(wine reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '/LogPixels/ { print $3 }' || true)
restore() {
  if [ -n "$previous" ]; then
    wine reg add "$key" /v LogPixels /t REG_DWORD /d "$previous" /f >/dev/null 2>&1
  else
    wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1 || true
  fi
}
log=$(mktemp)
trap 'rm -f "$log"; restore' EXIT
wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
while [ $# -ge 2 ]; do
  MIRASEE_TEST_DPI=$dpi wine "$1" --gtest_filter="$2" | tee "$log"
  # A filter that no longer matches runs nothing and passes.
  grep -q '^\[  PASSED  \] [1-9]' "$log" || { echo "at_dpi.sh: '$2' ran no test" >&2; exit 1; }
  shift 2
done
