#!/usr/bin/env bash
# What a user waits for, and what the computer spends, to read one photo: our recognizer
# (barcodes and text in one call) against the tesseract command-line tool (text alone), over eight
# photos drawn here with known text and codes: a page filling the frame, a receipt held close, a
# parcel label seen from 60 cm (7-pt print), a page at an angle, a leaflet with a small QR code and
# a dense DataMatrix in a corner, a portrait photo stored on its side with an orientation tag, a
# page taken with a shaking hand, and grey print on grey card.
#
# Both sides start cold for every photo, as on an arrival after a quiet while: ours is a process
# that loads the text engine and reads the photo on the program's own recognition pool with the
# program's own engine settings (nothing is set here that the program does not set itself), the
# CLI is started as it comes. Times are the median of RUNS runs, wall and CPU (user and system,
# children included: our barcode helper counts). The program reads photos at a lower priority
# than everything else it does, so the CLI runs at the same nice value: on a busy machine both
# then wait alike. All in the same run: these machines are noisy, and only the ratios hold.
#
# The goals: in total, at most 0.6 of the CLI's wall time and no more than its CPU time; on every
# photo at least as many of the printed words read, in order; every code zbarimg finds found too.
#
#   bench/recognize_bench.sh [BUILD_DIR]      RUNS=3 by default; BASELINE=another build's
#                                             recognize_bench adds its times beside ours
set -euo pipefail
build=${1:-build}
runs=${RUNS:-3}
prog="$build/bench/recognize_bench"
baseline=${BASELINE:-}
# The nice value of the program's recognition threads (src/store/recognizer.cpp).
recognition_nice=10
for tool in tesseract zbarimg; do
  command -v "$tool" >/dev/null || { echo "recognize_bench: needs $tool (scripts/install-deps)" >&2; exit 1; }
done
[[ -x $prog ]] || { echo "recognize_bench: build $prog first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$prog" corpus "$work" >"$work/names" 2> >(grep -v XDG_RUNTIME_DIR >&2)

# run_times OUT CMD...: runs CMD RUNS times (its output of the last run to OUT) and prints the
# median wall and the median CPU time, in milliseconds.
run_times() {
  local out=$1 walls=() cpus=() t
  shift
  local TIMEFORMAT='%R %U %S'
  for ((i = 0; i < runs; i++)); do
    t=$({ time "$@" >"$out" 2>/dev/null; } 2>&1) || true
    walls+=($(awk '{ printf "%d", $1 * 1000 }' <<<"${t##*$'\n'}"))
    cpus+=($(awk '{ printf "%d", ($2 + $3) * 1000 }' <<<"${t##*$'\n'}"))
  done
  local pick=$(((runs + 1) / 2))
  echo "$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "${pick}p")" \
    "$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "${pick}p")"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
score() { "$prog" score "$1" "$2" 2>/dev/null; }

# The same engine settings as ours: LSTM only, automatic page segmentation, English, no
# language correction (the dictionaries are not loaded).
cli=(nice -n "$recognition_nice" tesseract)
no_dict=(-c lstm_use_matrix=0)
for dawg in system freq punc number unambig bigram; do no_dict+=(-c "load_${dawg}_dawg=0"); done

echo "eight 12-megapixel JPEG photos, each read by a process started for it; median of $runs runs"
echo "wall and CPU in ms; words: share of the printed words read in order; codes: ours/known (zbarimg's)"
printf '  %-13s %7s %7s %5s  %7s %7s %5s  %6s %6s %9s' photo "wall" "cli" ratio "cpu" "cli" ratio \
  "words" "cli" codes
[[ -n $baseline ]] && printf '  %9s %9s' "base wall" "base cpu"
echo
total_wall=0 total_cli_wall=0 total_cpu=0 total_cli_cpu=0 total_base_wall=0 total_base_cpu=0
missing=0 fewer_words=0
while IFS= read -r name; do
  photo="$work/$name.jpg"
  read -r wall cpu < <(run_times "$work/$name.ours" "$prog" read "$photo")
  read -r cli_wall cli_cpu < <(run_times /dev/null "${cli[@]}" "$photo" "$work/$name.cli" \
    --oem 1 --psm 3 -l eng "${no_dict[@]}")
  sed -n '/^text$/,$p' "$work/$name.ours" | tail -n +2 >"$work/$name.ours.txt"
  zbarimg -q --raw "$photo" 2>/dev/null >"$work/$name.zbar" || true

  ours_words=$(score "$work/$name.txt" "$work/$name.ours.txt")
  cli_words=$(score "$work/$name.txt" "$work/$name.cli.txt")
  awk -v a="$ours_words" -v b="$cli_words" 'BEGIN { exit !(a < b) }' && fewer_words=$((fewer_words + 1))
  known=0 ours_known=0 zbar_found=0
  while IFS= read -r code; do
    [[ -n $code ]] || continue
    known=$((known + 1))
    grep -Fxq -- "payload $code" "$work/$name.ours" && ours_known=$((ours_known + 1))
  done <"$work/$name.codes"
  while IFS= read -r code; do
    [[ -n $code ]] || continue
    zbar_found=$((zbar_found + 1))
    if ! grep -Fxq -- "payload $code" "$work/$name.ours"; then
      echo "  MISSING in $name: zbarimg found \"$code\", ours did not"
      missing=$((missing + 1))
    fi
  done <"$work/$name.zbar"

  printf '  %-13s %7s %7s %5s  %7s %7s %5s  %6s %6s %5s (%s)' "$name" "$wall" "$cli_wall" \
    "$(ratio "$wall" "$cli_wall")" "$cpu" "$cli_cpu" "$(ratio "$cpu" "$cli_cpu")" \
    "$ours_words" "$cli_words" "$ours_known/$known" "$zbar_found"
  if [[ -n $baseline ]]; then
    read -r base_wall base_cpu < <(run_times /dev/null "$baseline" read "$photo")
    printf '  %9s %9s' "$base_wall" "$base_cpu"
    total_base_wall=$((total_base_wall + base_wall))
    total_base_cpu=$((total_base_cpu + base_cpu))
  fi
  echo
  total_wall=$((total_wall + wall)) total_cli_wall=$((total_cli_wall + cli_wall))
  total_cpu=$((total_cpu + cpu)) total_cli_cpu=$((total_cli_cpu + cli_cpu))
done <"$work/names"
printf '  %-13s %7s %7s %5s  %7s %7s %5s' total "$total_wall" "$total_cli_wall" \
  "$(ratio "$total_wall" "$total_cli_wall")" "$total_cpu" "$total_cli_cpu" \
  "$(ratio "$total_cpu" "$total_cli_cpu")"
[[ -n $baseline ]] && printf '  %33s %9s %9s' "" "$total_base_wall" "$total_base_cpu"
echo
echo "  goals: wall ratio at most 0.60, CPU ratio at most 1.00"
echo "  photos where ours read fewer words than the CLI: $fewer_words; codes zbarimg found that ours missed: $missing"
over=$(awk -v w="$(ratio "$total_wall" "$total_cli_wall")" -v c="$(ratio "$total_cpu" "$total_cli_cpu")" \
  'BEGIN { print (w > 0.6 || c > 1.0) }')
exit $((missing > 0 || fewer_words > 0 || over))
