#!/usr/bin/env bash
# A 4 MB photo sent with curl to the program's /upload, as a phone's shortcut or a script sends
# it. curl asks first ("Expect: 100-continue") for a body over 1 MB and waits up to a second for
# the go-ahead before it sends; the same upload without asking is the yardstick. The program
# runs on 127.0.0.1 with a home of its own, the offscreen platform and no recognition.
#
#   bench/asked_upload.sh [BUILD_DIR]      RUNS=5 by default; VESKER=another build's vesker
#                                          is measured instead of BUILD_DIR's
set -euo pipefail
build=${1:-build}
runs=${RUNS:-5}
vesker=${VESKER:-$build/src/vesker}
command -v curl >/dev/null || { echo "asked_upload: needs curl" >&2; exit 1; }
[[ -x $vesker ]] || { echo "asked_upload: build $vesker first" >&2; exit 1; }

home=$(mktemp -d)
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$home/.config/Vesker"
cat >"$home/.config/Vesker/defaults.json" <<JSON
{"serverPort": $port, "advertiseOnNetwork": false, "recognizeOnArrival": false,
 "didSeedWelcome": true, "checkForUpdatesAutomatically": false}
JSON
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home QT_QPA_PLATFORM=offscreen \
  "$vesker" >"$home/log" 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$home"' EXIT
for ((i = 0; i < 150; i++)); do
  curl -sf "http://127.0.0.1:$port/api/info" >/dev/null 2>&1 && break
  sleep 0.1
done

# A JPEG's start marker, then filler: the store takes it as a photo.
photo=$home/photo.jpg
{ printf '\xff\xd8\xff\xe0'; head -c $((4 * 1024 * 1024 - 4)) /dev/zero; } >"$photo"

# median_ms CURL-ARGS...: the median of RUNS uploads, in milliseconds, as curl times them.
median_ms() {
  local times=()
  for ((i = 0; i < runs; i++)); do
    times+=($(curl -s -o /dev/null -w '%{time_total}' -H 'Content-Type: image/jpeg' "$@" \
      --data-binary @"$photo" "http://127.0.0.1:$port/upload" | awk '{ printf "%d", $1 * 1000 }'))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}
asked=$(median_ms)
plain=$(median_ms -H 'Expect:')
echo "a 4 MiB photo to /upload with curl; median of $runs uploads"
printf '  %-32s %6s ms\n' "asking first (curl's default)" "$asked" "without asking" "$plain"
echo "  goal: asking first answers in under 100 ms"
