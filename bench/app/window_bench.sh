#!/usr/bin/env bash
# Times a combined conversion of three one-minute FLAC files run from the window (offscreen)
# against the same job run by parvane-job, alternating the two, and prints the medians, the
# ratio window / job and the window's 99th percentile event gap (goal: under 200 ms).
#   window_bench.sh APP_FOLDER [RUNS]
set -euo pipefail

app=${1:?usage: window_bench.sh APP_FOLDER [RUNS]}
runs=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/parvane-bench-window-XXXXXX")
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

echo "preparing inputs in $work ..."
files=()
for i in 1 2 3; do
  ffmpeg -v error -nostdin -f lavfi -i "anoisesrc=d=60:r=44100:c=pink:a=0.2:s=$i" -ac 2 -fflags +bitexact -flags:a +bitexact \
    -c:a pcm_s16le "$work/track$i.wav"
  flac -s -o "$work/track$i.flac" "$work/track$i.wav"
  rm "$work/track$i.wav"
  files+=("$work/track$i.flac")
done

mkdir -p "$work/apart" "$work/jobapart"
# Runs the window with a home of its own; appends its seconds and its event gap p99.
window_run() { # SECONDS_VAR P99_VAR ARG...
  local -n seconds=$1 gaps=$2
  shift 2
  local line
  line=$(HOME=$work XDG_CONFIG_HOME=$work/.config PARVANE_UPDATE_SERVER=127.0.0.1:9 \
    "$app/bench-window" "$@")
  seconds+=("$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")")
  gaps+=("$(sed -n 's/.*p99_ms=\([0-9.]*\).*/\1/p' <<<"$line")")
}

window=() job=() p99=() apart=() jobapart=() apartp99=()
for ((i = 0; i < runs; i++)); do
  rm -f "$work"/*.mp4 "$work/apart/"* "$work/jobapart/"*
  window_run window p99 "$work/window.mp4" "${files[@]}"
  timed job "$app/parvane-job" --to "$work" --name job.mp4 "${files[@]}"
  # One file each: a track encodes on each core while the next decodes.
  window_run apart apartp99 --separate "$work/apart/ignored.mp4" "${files[@]}"
  timed jobapart "$app/parvane-job" --separate --to "$work/jobapart" "${files[@]}"
done
[[ $(ls "$work/apart" | wc -l) -eq 3 ]] || { echo "the window did not write 3 files" >&2; exit 1; }

result "window run vs parvane-job, 3 x 1 min FLAC" "$(median "${window[@]}")" "$(median "${job[@]}")" 1.05
# The gap goal as a ratio to its limit.
result "window event gap p99 vs 200 ms" "$(median "${p99[@]}")" 200 1.0 ms
result "window into 3 files vs parvane-job" "$(median "${apart[@]}")" "$(median "${jobapart[@]}")" 1.05
result "window event gap p99, 3 files side by side" "$(median "${apartp99[@]}")" 200 1.0 ms
