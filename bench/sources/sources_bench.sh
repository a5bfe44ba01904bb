#!/usr/bin/env bash
# Times a combined parvane-job run over ten tagged three-minute FLACs against the same work done
# by hand (flac -d on each, one neroAacEnc and one neroAacTag run) and against one ffmpeg process
# that decodes the ten files and encodes them to AAC at the same bitrate. The three are run in
# turn; the medians of the job against each of the other two are printed with their ratios.
#   sources_bench.sh APP_FOLDER [RUNS]
set -euo pipefail

app=${1:?usage: sources_bench.sh APP_FOLDER [RUNS]}
runs=${2:-3}
ffmpeg=/usr/bin/ffmpeg
work=$(mktemp -d "${TMPDIR:-/tmp}/parvane-bench-sources-XXXXXX")
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

echo "preparing inputs in $work ..."
files=()
for i in $(seq -w 1 10); do
  make_track "$i" "$work/in$i.wav"
  "$app/flac" -s -o "$work/track$i.flac" "$work/in$i.wav"
  rm "$work/in$i.wav"
  "$app/metaflac" --set-tag="TITLE=Track $i" --set-tag=ARTIST=Bench --set-tag="TRACKNUMBER=$i" \
    "$work/track$i.flac"
  files+=("$work/track$i.flac")
done

# The tagger arguments the job builds from those tags: seven per chapter.
tag_args=()
k=0
for i in $(seq -w 1 10); do
  k=$((k + 1))
  tag_args+=("-chapter:$k" "-meta:Title=Track $i" "-meta:Artist=Bench" "-meta:Track=$i"
    "-meta:Album=" "-meta:Comment=" "-meta:Genre=" "-meta:Year=")
done

ffmpeg_inputs=() concat=""
for ((i = 0; i < 10; i++)); do
  ffmpeg_inputs+=(-i "${files[$i]}")
  concat+="[$i:a]"
done

job=() hand=() single=()
for ((r = 0; r < runs; r++)); do
  rm -f "$work"/*.mp4 "$work"/*.m4a "$work"/*.wav
  sync
  start=$(now)
  "$app/parvane-job" --to "$work" --name job.mp4 "${files[@]}" >/dev/null
  job+=("$(elapsed "$start" "$(now)")")

  sync
  start=$(now)
  enc_args=(-cbr 192000)
  for f in "${files[@]}"; do
    "$app/flac" -s -d -f "$f" -o "${f%.flac}.wav"
    enc_args+=(-if "${f%.flac}.wav")
  done
  "$app/neroAacEnc" "${enc_args[@]}" -of "$work/hand.mp4" >/dev/null 2>&1
  "$app/neroAacTag" "$work/hand.mp4" "${tag_args[@]}" >/dev/null 2>&1
  hand+=("$(elapsed "$start" "$(now)")")
  rm -f "$work"/*.wav

  sync
  start=$(now)
  "$ffmpeg" -v error -nostdin "${ffmpeg_inputs[@]}" \
    -filter_complex "${concat}concat=n=10:v=0:a=1" -c:a aac -b:a 192k "$work/single.m4a"
  single+=("$(elapsed "$start" "$(now)")")
done
[[ -s "$work/job.mp4" && -s "$work/hand.mp4" && -s "$work/single.m4a" ]] ||
  { echo "a run wrote no output" >&2; exit 1; }

job_median=$(median "${job[@]}")
result "job, 10 x 3 min FLAC vs by hand" "$job_median" "$(median "${hand[@]}")" 1.05
result "job, 10 x 3 min FLAC vs one ffmpeg" "$job_median" "$(median "${single[@]}")" 0.65
