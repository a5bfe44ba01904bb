#!/usr/bin/env bash
# Times a parvane-job conversion of a ten-minute WavPack file against the same audio as FLAC:
# both runs encode alike, so the ratio is what decoding through avdec costs over flac. Run in
# turn; the medians and their ratio are printed.
#   wavpack_bench.sh APP_FOLDER [RUNS]
set -euo pipefail

app=${1:?usage: wavpack_bench.sh APP_FOLDER [RUNS]}
runs=${2:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/parvane-bench-wavpack-XXXXXX")
trap 'rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

echo "preparing inputs in $work ..."
/usr/bin/ffmpeg -v error -nostdin -f lavfi -i "anoisesrc=d=600:r=44100:c=pink:a=0.2" \
  -f lavfi -i "sine=f=440:d=600:r=44100" -filter_complex "[0][1]amerge=inputs=2" -ac 2 \
  -c:a pcm_s16le "$work/in.wav"
/usr/bin/wavpack -q -y "$work/in.wav" -o "$work/ten.wv"
"$app/flac" -s -o "$work/ten.flac" "$work/in.wav"
rm "$work/in.wav"

wv=() fl=()
for ((r = 0; r < runs; r++)); do
  for kind in wv flac; do
    rm -f "$work"/*.mp4
    sync
    start=$(now)
    "$app/parvane-job" --to "$work" --name "$kind.mp4" "$work/ten.$kind" >/dev/null
    took=$(elapsed "$start" "$(now)")
    [[ -s "$work/$kind.mp4" ]] || { echo "the $kind run wrote no output" >&2; exit 1; }
    if [[ $kind == wv ]]; then wv+=("$took"); else fl+=("$took"); fi
  done
done

result "job, 10 min WavPack vs the same as FLAC" "$(median "${wv[@]}")" "$(median "${fl[@]}")" 1.05
