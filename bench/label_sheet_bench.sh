#!/usr/bin/env bash
# Sheets of forty QR labels scanned at 300 dpi (A4, 3508 by 2480), drawn from seeds: how many of
# their codes our recognizer lists, and how long a user waits for it, beside zbarimg. The default
# seeds draw sheets on which Debian's ZXing fails an assertion in our barcode helper; any other
# seeds may be given.
#
# Each photo is read by a process started for it, as on an arrival (barcodes and text: the text
# reader waits for the codes' places). Times are the median of RUNS runs; the machine is shared
# and noisy, so only the ratios in one run hold.
#
#   bench/label_sheet_bench.sh [BUILD_DIR] [SEED...]   RUNS=3 by default; BASELINE=another
#                                                      build's recognize_bench adds its codes and
#                                                      times beside ours
set -euo pipefail
build=${1:-build}
shift || true
seeds=("$@")
((${#seeds[@]})) || seeds=(171 173 351 450 1120)
runs=${RUNS:-3}
prog="$build/bench/recognize_bench"
baseline=${BASELINE:-}
command -v zbarimg >/dev/null || { echo "label_sheet_bench: needs zbarimg (scripts/install-deps)" >&2; exit 1; }
[[ -x $prog ]] || { echo "label_sheet_bench: build $prog first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# timed OUT CMD...: runs CMD RUNS times (the output of the last run to OUT) and prints the median
# wall time in milliseconds.
timed() {
  local out=$1 walls=() start
  shift
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    "$@" >"$out" 2>/dev/null || true
    walls+=($((($(date +%s%N) - start) / 1000000)))
  done
  printf '%s\n' "${walls[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}
# found PAYLOADS OUT: how many of the sheet's payloads OUT lists, one "payload X" or bare line each.
found() { grep -Fxc -f "$1" <(sed 's/^payload //' "$2") || true; }

echo "sheets of 40 QR labels, A4 at 300 dpi; median wall time of $runs runs in ms; codes: of 40"
printf '  %-6s %6s %7s' seed codes wall
[[ -n $baseline ]] && printf '  %6s %7s %6s' "base" "wall" ratio
printf '  %6s %7s\n' zbar wall
for seed in "${seeds[@]}"; do
  sheet="$work/sheet-$seed.png"
  "$prog" sheet "$seed" "$sheet" >"$work/$seed.codes" 2>/dev/null
  wall=$(timed "$work/$seed.ours" "$prog" read "$sheet")
  printf '  %-6s %6s %7s' "$seed" "$(found "$work/$seed.codes" "$work/$seed.ours")" "$wall"
  if [[ -n $baseline ]]; then
    base_wall=$(timed "$work/$seed.base" "$baseline" read "$sheet")
    printf '  %6s %7s %6s' "$(found "$work/$seed.codes" "$work/$seed.base")" "$base_wall" \
      "$(awk -v a="$wall" -v b="$base_wall" 'BEGIN { printf "%.2f", a / b }')"
  fi
  zbar_wall=$(timed "$work/$seed.zbar" zbarimg -q --raw "$sheet")
  printf '  %6s %7s\n' "$(found "$work/$seed.codes" "$work/$seed.zbar")" "$zbar_wall"
done
