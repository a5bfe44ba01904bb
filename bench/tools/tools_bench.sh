#!/usr/bin/env bash
# Times neroAacEnc and neroAacTag against ffmpeg doing the same job, alternating the two, and
# prints each median wall time and the ratio ours / ffmpeg.
#   tools_bench.sh APP_FOLDER [RUNS]
set -euo pipefail

app=${1:?usage: tools_bench.sh APP_FOLDER [RUNS]}
runs=${2:-3}
ffmpeg=/usr/bin/ffmpeg
work=$(mktemp -d "${TMPDIR:-/tmp}/parvane-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

# Runs "$@" once and prints its wall time in seconds.
timed() {
  local start end
  start=$(now)
  "$@" >/dev/null 2>&1
  end=$(now)
  elapsed "$start" "$end"
}

echo "preparing inputs in $work ..."
"$ffmpeg" -v error -nostdin -f lavfi -i "anoisesrc=d=600:r=44100:c=pink:a=0.2" \
  -f lavfi -i "sine=f=440:d=600:r=44100" -filter_complex "[0][1]amerge=inputs=2" -ac 2 \
  -c:a pcm_s16le "$work/ten.wav"

ours=() one=() base=()
for ((i = 0; i < runs; i++)); do
  rm -f "$work/ours.m4a" "$work/one.m4a" "$work/base.m4a"
  sync
  ours+=("$(timed "$app/neroAacEnc" -cbr 192000 -if "$work/ten.wav" -of "$work/ours.m4a")")
  sync
  base+=("$(timed "$ffmpeg" -nostdin -y -i "$work/ten.wav" -c:a aac -b:a 192k "$work/base.m4a")")
  sync
  one+=("$(timed "$app/neroAacEnc" -threads 1 -cbr 192000 -if "$work/ten.wav" -of "$work/one.m4a")")
done
result "neroAacEnc -cbr 192000, 10 min, $(nproc) cores" "$(median "${ours[@]}")" "$(median "${base[@]}")" 0.60
result "neroAacEnc -threads 1, 10 min" "$(median "${one[@]}")" "$(median "${base[@]}")" 1.05

# Memory is bounded by the segments in flight: an hour takes little more than ten minutes.
peak() { # OUTPUT INPUT -> peak resident kilobytes
  rm -f "$1"
  /usr/bin/time -f %M -o "$work/peak" "$app/neroAacEnc" -cbr 192000 -if "$2" -of "$1" >/dev/null 2>&1
  cat "$work/peak"
}
"$ffmpeg" -v error -nostdin -stream_loop 5 -i "$work/ten.wav" -c copy "$work/hour.wav"
result "neroAacEnc peak memory, 60 vs 10 min" "$(peak "$work/m60.m4a" "$work/hour.wav")" \
  "$(peak "$work/m10.m4a" "$work/ten.wav")" 1.5 kB
rm -f "$work/hour.wav"

# Six copies of the ten minutes, joined by stream copy, make the hour.
"$ffmpeg" -v error -nostdin -stream_loop 5 -i "$work/base.m4a" -c copy "$work/hour.m4a"
ours=() base=()
for ((i = 0; i < runs; i++)); do
  cp "$work/hour.m4a" "$work/tagged.m4a"
  rm -f "$work/copy.m4a"
  sync
  ours+=("$(timed "$app/neroAacTag" "$work/tagged.m4a" -meta:Title=Benchmark -meta:Artist=Parvane)")
  sync
  base+=("$(timed "$ffmpeg" -nostdin -i "$work/hour.m4a" -map 0 -c copy -metadata title=Benchmark \
    -metadata artist=Parvane "$work/copy.m4a")")
done
result "neroAacTag, 60 min MP4" "$(median "${ours[@]}")" "$(median "${base[@]}")" 1.2
