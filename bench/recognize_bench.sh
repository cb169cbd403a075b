#!/usr/bin/env bash
# Milliseconds per photo for our Recognizer (barcodes and text in one call) against the
# tesseract and zbarimg command-line tools, over six photos drawn here with known text and codes:
# a page filling the frame, a receipt held close, a parcel label seen from 60 cm (7-pt print), a
# page at an angle, a leaflet with a small QR code and a dense DataMatrix in a corner, and a
# portrait photo stored on its side with an orientation tag. All in the same run: these machines
# are noisy, and only the ratios hold.
# The goal: ours (codes and text) within half of tesseract's time for the text alone in total,
# reading at least as many of the printed words in order on every photo, and every code zbarimg
# finds found by ours too (a missing code fails the run).
#
#   bench/recognize_bench.sh [BUILD_DIR]      RUNS=3 by default
set -euo pipefail
build=${1:-build}
runs=${RUNS:-3}
prog="$build/bench/recognize_bench"
for tool in tesseract zbarimg; do
  command -v "$tool" >/dev/null || { echo "recognize_bench: needs $tool (scripts/install-deps)" >&2; exit 1; }
done
[[ -x $prog ]] || { echo "recognize_bench: build $prog first" >&2; exit 1; }
# Tesseract's own threads do not make one photo faster and only add noise on a busy machine:
# both sides run single-threaded.
export OMP_THREAD_LIMIT=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$prog" corpus "$work" >"$work/names" 2> >(grep -v XDG_RUNTIME_DIR >&2)

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# median_ms CMD...: the median wall time of RUNS runs of CMD, in milliseconds.
median_ms() {
  local times=() start
  for ((i = 0; i < runs; i++)); do
    start=$(now_ms)
    "$@" >/dev/null 2>&1 || true
    times+=($(( $(now_ms) - start )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
score() { "$prog" score "$1" "$2" 2>/dev/null; }

# The same engine settings as ours: LSTM only, automatic page segmentation, English, no
# language correction (the dictionaries are not loaded).
no_dict=(-c lstm_use_matrix=0)
for dawg in system freq punc number unambig bigram; do no_dict+=(-c "load_${dawg}_dawg=0"); done

echo "six 12-megapixel JPEG photos; median of $runs runs; codes: ours/known (zbarimg's found)"
printf '  %-13s %8s %8s %6s %8s %8s %10s\n' photo "ours ms" "cli ms" ratio "ours %" "cli %" codes
total_ours=0 total_cli=0 missing=0 fewer_words=0
while IFS= read -r name; do
  photo="$work/$name.jpg"
  # Ours times itself (decoding included) and reports what it read.
  "$prog" time "$photo" "$runs" >"$work/$name.ours" 2>/dev/null
  ours_ms=$(sed -n 's/^median //p' "$work/$name.ours")
  sed -n '/^text$/,$p' "$work/$name.ours" | tail -n +2 >"$work/$name.ours.txt"
  cli_ms=$(median_ms tesseract "$photo" "$work/$name.cli" --oem 1 --psm 3 -l eng "${no_dict[@]}")
  tesseract "$photo" "$work/$name.cli" --oem 1 --psm 3 -l eng "${no_dict[@]}" >/dev/null 2>&1
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

  printf '  %-13s %8s %8s %6s %8s %8s %6s (%s)\n' "$name" "$ours_ms" "$cli_ms" \
    "$(ratio "$ours_ms" "$cli_ms")" "$ours_words" "$cli_words" "$ours_known/$known" "$zbar_found"
  total_ours=$((total_ours + ours_ms))
  total_cli=$((total_cli + cli_ms))
done <"$work/names"
printf '  %-13s %8s %8s %6s   (goal: at most 0.50)\n' total "$total_ours" "$total_cli" \
  "$(ratio "$total_ours" "$total_cli")"
echo "  photos where ours read fewer words than the CLI: $fewer_words; codes zbarimg found that ours missed: $missing"
exit $((missing > 0 || fewer_words > 0))
