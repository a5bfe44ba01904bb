#!/usr/bin/env bash
# Times a 60-minute FLAC image with a sheet of 15 tracks converted into 15 files by parvane-job
# against the same image converted whole into one file, alternating the two, and prints each
# median wall time and the ratio tracks / whole. The image is decoded once in both.
#   cue_bench.sh APP_FOLDER [RUNS]
set -euo pipefail

app=${1:?usage: cue_bench.sh APP_FOLDER [RUNS]}
runs=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/parvane-bench-cue-XXXXXX")
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

echo "preparing a 60-minute image in $work ..."
/usr/bin/ffmpeg -v error -nostdin -f lavfi -i "anoisesrc=d=3600:r=44100:c=pink:a=0.2:s=7" \
  -f lavfi -i "sine=f=330:d=3600:r=44100" -filter_complex "[0][1]amerge=inputs=2" -ac 2 \
  -fflags +bitexact -flags:a +bitexact -c:a pcm_s16le "$work/image.wav"
"$app/flac" -s -o "$work/disc.flac" "$work/image.wav"
rm "$work/image.wav"
# Fifteen tracks of four minutes, each but the first with a two-second pregap.
{
  echo 'PERFORMER "Bench"'
  echo 'TITLE "Sixty Minutes"'
  echo 'FILE "disc.flac" WAVE'
  for i in $(seq 1 15); do
    printf '  TRACK %02d AUDIO\n    TITLE "Part %d"\n' "$i" "$i"
    if ((i > 1)); then printf '    INDEX 00 %02d:58:00\n' $(((i - 1) * 4 - 1)); fi
    printf '    INDEX 01 %02d:00:00\n' $(((i - 1) * 4))
  done
} >"$work/disc.cue"

tracks=() whole=()
for ((i = 0; i < runs; i++)); do
  rm -rf "$work/tracks" "$work/whole"
  mkdir "$work/tracks" "$work/whole"
  sync
  start=$(now)
  "$app/parvane-job" --separate --to "$work/tracks" "$work/disc.cue" >/dev/null
  tracks+=("$(elapsed "$start" "$(now)")")
  sync
  start=$(now)
  "$app/parvane-job" --to "$work/whole" --name whole.mp4 "$work/disc.flac" >/dev/null
  whole+=("$(elapsed "$start" "$(now)")")
done
count=$(find "$work/tracks" -name '*.mp4' | wc -l)
[[ "$count" == 15 && -s "$work/whole/whole.mp4" ]] || { echo "a run wrote not what it should ($count track files)" >&2; exit 1; }

result "job, 60 min FLAC image: 15 tracks vs whole" "$(median "${tracks[@]}")" "$(median "${whole[@]}")" 1.25
