#!/usr/bin/env bash
# Times parvane-convert on a library of 12 three-minute FLAC tracks in three folders against the
# same 12 converted by ffmpeg one after another at the same bitrate, alternating the two, and
# prints each median wall time and the ratio ours / ffmpeg.
#   cli_bench.sh APP_FOLDER [RUNS]
set -euo pipefail

app=${1:?usage: cli_bench.sh APP_FOLDER [RUNS]}
runs=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/parvane-bench-cli-XXXXXX")
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

echo "preparing 12 three-minute tracks in $work ..."
for i in $(seq -w 1 12); do
  folder="$work/lib/Album $(((10#$i - 1) / 4 + 1))"
  mkdir -p "$folder"
  make_track "$i" "$work/track.wav"
  "$app/flac" -s -o "$folder/$i Track.flac" "$work/track.wav"
  rm "$work/track.wav"
done

ours=() theirs=()
for ((i = 0; i < runs; i++)); do
  rm -rf "$work/ours" "$work/theirs"
  mkdir "$work/theirs"
  sync
  start=$(now)
  "$app/parvane-convert" -q --cbr=192 -o "$work/ours" "$work/lib"
  ours+=("$(elapsed "$start" "$(now)")")
  sync
  start=$(now)
  for source in "$work"/lib/*/*.flac; do
    /usr/bin/ffmpeg -v error -nostdin -i "$source" -c:a aac -b:a 192k \
      "$work/theirs/$(basename "$source" .flac).m4a"
  done
  theirs+=("$(elapsed "$start" "$(now)")")
done
count=$(find "$work/ours" -name '*.m4a' | wc -l)
[[ "$count" == 12 ]] || { echo "parvane-convert wrote $count files, not 12" >&2; exit 1; }

result "parvane-convert, 12 tracks vs ffmpeg serial" "$(median "${ours[@]}")" "$(median "${theirs[@]}")" 0.55
