#!/usr/bin/env bash
# Times a combined parvane-job run of ten three-minute WAVs against running neroAacEnc and
# neroAacTag by hand with the same command lines, alternating the two, and prints each median
# wall time and the ratio job / by hand.
#   job_bench.sh APP_FOLDER [RUNS]
set -euo pipefail

app=${1:?usage: job_bench.sh APP_FOLDER [RUNS]}
runs=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/parvane-bench-job-XXXXXX")
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

echo "preparing inputs in $work ..."
files=()
for i in $(seq -w 1 10); do
  make_track "$i" "$work/track$i.wav"
  files+=("$work/track$i.wav")
done

# The tagger arguments the job builds with --name-as-title: one chapter per file, its title the
# file name.
enc_args=(-cbr 192000)
tag_args=()
k=0
for f in "${files[@]}"; do
  enc_args+=(-if "$f")
  k=$((k + 1))
  tag_args+=("-chapter:$k" "-meta:Title=$(basename "$f" .wav)")
done

job=() hand=()
for ((i = 0; i < runs; i++)); do
  rm -f "$work/job.mp4" "$work/hand.mp4"
  sync
  start=$(now)
  "$app/parvane-job" --to "$work" --name job.mp4 --name-as-title "${files[@]}" >/dev/null
  job+=("$(elapsed "$start" "$(now)")")
  sync
  start=$(now)
  "$app/neroAacEnc" "${enc_args[@]}" -of "$work/hand.mp4" >/dev/null 2>&1
  "$app/neroAacTag" "$work/hand.mp4" "${tag_args[@]}" >/dev/null 2>&1
  hand+=("$(elapsed "$start" "$(now)")")
done
[[ -s "$work/job.mp4" && -s "$work/hand.mp4" ]] || { echo "a run wrote no output" >&2; exit 1; }

result "job, 10 x 3 min WAV vs by hand" "$(median "${job[@]}")" "$(median "${hand[@]}")" 1.05

# An album as users have it: six of the three-minute tracks as FLAC, into six files and combined
# into one, against ffmpeg's encoder in one process (each track in turn; the six concatenated).
# Separate files run a track per core while the next one decodes.
flacs=()
: >"$work/album.txt"
for i in 01 02 03 04 05 06; do
  "$app/flac" -s -o "$work/album$i.flac" "$work/track$i.wav"
  flacs+=("$work/album$i.flac")
  echo "file '$work/album$i.flac'" >>"$work/album.txt"
done
ff_each() {
  for f in "${flacs[@]}"; do
    /usr/bin/ffmpeg -v error -nostdin -i "$f" -c:a aac -b:a 192k \
      "$work/ffalbum/$(basename "$f" .flac).m4a"
  done
}
mkdir -p "$work/album" "$work/ffalbum"
job=() ff=() joined=() ffjoined=()
for ((i = 0; i < runs; i++)); do
  rm -f "$work/album/"* "$work/ffalbum/"*
  timed job "$app/parvane-job" --separate --to "$work/album" "${flacs[@]}"
  timed ff ff_each
  timed joined "$app/parvane-job" --to "$work/album" --name joined.m4a "${flacs[@]}"
  timed ffjoined /usr/bin/ffmpeg -v error -nostdin -f concat -safe 0 -i "$work/album.txt" \
    -c:a aac -b:a 192k "$work/ffalbum/joined.m4a"
done
[[ $(ls "$work/album" | wc -l) -eq 7 ]] || { echo "the job did not write 7 files" >&2; exit 1; }
result "job, 6 x 3 min FLAC into 6 files vs ffmpeg" "$(median "${job[@]}")" "$(median "${ff[@]}")" 0.56
result "job, 6 x 3 min FLAC into one vs ffmpeg" "$(median "${joined[@]}")" \
  "$(median "${ffjoined[@]}")" 0.56
