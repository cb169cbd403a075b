#!/usr/bin/env bash
# Milliseconds per photo for our Recognizer (barcodes and text in one call) against the
# tesseract and zbarimg command-line tools, all on the same 12-megapixel photo of a printed page
# with three barcodes, in the same run: these machines are noisy, and only the ratios hold.
# The goal: ours within 1.2 times tesseract's time for the text alone, and every code zbarimg
# finds found by ours too (a missing code fails the run).
#
#   bench/recognize_bench.sh [BUILD_DIR]      RUNS=5 by default
set -euo pipefail
build=${1:-build}
runs=${RUNS:-5}
prog="$build/bench/recognize_bench"
for tool in tesseract zbarimg; do
  command -v "$tool" >/dev/null || { echo "recognize_bench: needs $tool (scripts/install-deps)" >&2; exit 1; }
done
[[ -x $prog ]] || { echo "recognize_bench: build $prog first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
photo="$work/photo.jpg"
"$prog" make "$photo" "$work/page.txt" 2> >(grep -v XDG_RUNTIME_DIR >&2)

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

# Ours first: the program times itself (decoding included) and reports what it read.
"$prog" time "$photo" "$runs" >"$work/ours.out" 2>/dev/null
ours_ms=$(sed -n 's/^median //p' "$work/ours.out")
ours_first=$(sed -n 's/^first //p' "$work/ours.out")
sed -n '/^text$/,$p' "$work/ours.out" | tail -n +2 >"$work/ours.txt"

# The same engine settings as ours: LSTM only, automatic page segmentation, English, no
# language correction (the dictionaries are not loaded).
no_dict=(-c lstm_use_matrix=0)
for dawg in system freq punc number unambig bigram; do no_dict+=(-c "load_${dawg}_dawg=0"); done
tesseract_ms=$(median_ms tesseract "$photo" "$work/cli" --oem 1 --psm 3 -l eng "${no_dict[@]}")
tesseract "$photo" "$work/cli" --oem 1 --psm 3 -l eng "${no_dict[@]}" >/dev/null 2>&1
zbar_ms=$(median_ms zbarimg -q --raw "$photo")
zbarimg -q --raw "$photo" 2>/dev/null >"$work/zbar.txt" || true

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "photo: 4000x3000 JPEG, a printed page and an EAN-13, a Code 128 and a QR code; median of $runs runs"
printf '  %-32s %6s ms per photo (first run %s ms)\n' "ours: barcodes and text" "$ours_ms" "$ours_first"
printf '  %-32s %6s ms per photo\n' "tesseract CLI: text" "$tesseract_ms"
printf '  %-32s %6s ms per photo\n' "zbarimg CLI: barcodes" "$zbar_ms"
printf '  %-32s %6s (goal: at most 1.20)\n' "ours / tesseract" "$(ratio "$ours_ms" "$tesseract_ms")"
printf '  %-32s %6s\n' "ours / (tesseract + zbarimg)" "$(ratio "$ours_ms" $((tesseract_ms + zbar_ms)))"
printf '  %-32s ours %s %%, tesseract %s %%\n' "page words read, in order" \
  "$("$prog" score "$work/page.txt" "$work/ours.txt" 2>/dev/null)" \
  "$("$prog" score "$work/page.txt" "$work/cli.txt" 2>/dev/null)"

missing=0
found=0
while IFS= read -r code; do
  [[ -n $code ]] || continue
  found=$((found + 1))
  if ! grep -Fxq -- "payload $code" "$work/ours.out"; then
    echo "  MISSING: zbarimg found \"$code\", ours did not"
    missing=$((missing + 1))
  fi
done <"$work/zbar.txt"
ours_codes=$(grep -c '^code ' "$work/ours.out" || true)
echo "  codes: zbarimg found $found, ours found $ours_codes, of zbarimg's missing from ours: $missing"
exit $((missing > 0))
