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

# Pink noise under a tone, stereo, 16-bit unless another sample format is given.
make_input() { # MINUTES PATH [SAMPLE_FORMAT]
  "$ffmpeg" -v error -nostdin -f lavfi -i "anoisesrc=d=$(($1 * 60)):r=44100:c=pink:a=0.2" \
    -f lavfi -i "sine=f=440:d=$(($1 * 60)):r=44100" -filter_complex "[0][1]amerge=inputs=2" -ac 2 \
    -c:a "${3:-pcm_s16le}" "$2"
}

echo "preparing inputs in $work ..."
for m in 4 6 10; do make_input "$m" "$work/m$m.wav"; done
cp "$work/m10.wav" "$work/ten.wav"
# The six minutes in two halves, for two ffmpeg processes at once: the machine's own limit.
"$ffmpeg" -v error -nostdin -i "$work/m6.wav" -t 180 -c copy "$work/h1.wav"
"$ffmpeg" -v error -nostdin -ss 180 -i "$work/m6.wav" -c copy "$work/h2.wav"

ffaac() { "$ffmpeg" -nostdin -y -i "$1" -c:a aac -b:a 192k "$2"; }

# Runs "$@" once and prints its wall time and its processor time (user and system), seconds.
timed_cpu() {
  /usr/bin/time -f "%e %U %S" -o "$work/times" "$@" >/dev/null 2>&1
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/times"
}

# N pink noises at RATE, one a channel, 24-bit: music-like work in every channel.
make_multichannel() { # CHANNELS RATE SECONDS PATH
  local inputs=() k
  for ((k = 0; k < $1; k++)); do
    inputs+=(-f lavfi -i "anoisesrc=d=$3:r=$2:c=pink:a=0.2:s=$((k + 1))")
  done
  "$ffmpeg" -v error -nostdin "${inputs[@]}" -filter_complex "amerge=inputs=$1" \
    -c:a pcm_s24le "$4"
}

# How many of the cores the encoder's threads kept at work, by its own account: the sum of
# their busy seconds over the encode's.
cores_busy() { # INPUT OUTPUT
  rm -f "$2"
  "$app/neroAacEnc" -timing -if "$1" -of "$2" 2>&1 | tr '\r' '\n' |
    awk '/^Timing: / { for (i = 2; i <= NF; i++) { split($i, kv, "=")
      if (kv[1] == "wall") wall = kv[2]
      if (kv[1] == "busy") { n = split(kv[2], b, ","); for (j = 1; j <= n; j++) sum += b[j] } }
      printf "%.3f\n", sum / wall }'
}
halves() {
  ffaac "$work/h1.wav" "$work/b1.m4a" >/dev/null 2>&1 &
  ffaac "$work/h2.wav" "$work/b2.m4a" >/dev/null 2>&1
  wait
}

# Short inputs are cut for every core, so each length is timed; and the same encodes on one
# and on two threads give the scaling.
# The six minutes again with all the sound in the first half and near silence in the second:
# an uneven cost the cuts must share out.
"$ffmpeg" -v error -nostdin -i "$work/m6.wav" -af "volume=enable='gte(t,180)':volume=0" \
  -c:a pcm_s16le "$work/u6.wav"
for m in 4 6 u6 10; do
  ours=() base=() one=() oursCpu=() baseCpu=()
  in=$work/m$m.wav
  [[ $m == u6 ]] && in=$work/u6.wav
  for ((i = 0; i < runs; i++)); do
    rm -f "$work/ours.m4a" "$work/one.m4a" "$work/base.m4a"
    sync
    read -r wall cpu < <(timed_cpu "$app/neroAacEnc" -cbr 192000 -if "$in" -of "$work/ours.m4a")
    ours+=("$wall") oursCpu+=("$cpu")
    sync
    read -r wall cpu < <(timed_cpu "$ffmpeg" -nostdin -y -i "$in" -c:a aac -b:a 192k "$work/base.m4a")
    base+=("$wall") baseCpu+=("$cpu")
    sync
    [[ $m == u6 ]] ||
      one+=("$(timed "$app/neroAacEnc" -threads 1 -cbr 192000 -if "$in" -of "$work/one.m4a")")
  done
  goal=$(case $m in 4) echo 0.62 ;; 6 | u6) echo 0.58 ;; *) echo 0.57 ;; esac)
  name=$m; [[ $m == u6 ]] && name="6 uneven"
  result "neroAacEnc -cbr 192000, $name min, $(nproc) cores" "$(median "${ours[@]}")" \
    "$(median "${base[@]}")" "$goal"
  if [[ $m == 6 || $m == u6 ]]; then
    result "neroAacEnc CPU time, $name min" "$(median "${oursCpu[@]}")" \
      "$(median "${baseCpu[@]}")" 1.08
  fi
  [[ $m == u6 ]] ||
    result "neroAacEnc -threads 1, $m min" "$(median "${one[@]}")" "$(median "${base[@]}")" 1.05
done
rm -f "$work/u6.wav"

# Many channels at high rates split as stereo does: nine tenths of the cores at work at least
# (1.8 of 2).
make_multichannel 6 48000 180 "$work/c51.wav"
make_multichannel 8 96000 120 "$work/c71.wav"
for c in c51 c71; do
  busy=()
  for ((i = 0; i < runs; i++)); do busy+=("$(cores_busy "$work/$c.wav" "$work/ours.m4a")"); done
  name=$([[ $c == c51 ]] && echo "5.1 48 kHz 24-bit, 3 min" || echo "7.1 96 kHz 24-bit, 2 min")
  result_at_least "neroAacEnc cores busy, $name" "$(median "${busy[@]}")" "$(nproc)" 0.90 cores
done
rm -f "$work/c51.wav" "$work/c71.wav" "$work/ours.m4a"

ours=() base=()
for ((i = 0; i < runs; i++)); do
  rm -f "$work/ours.m4a" "$work/b1.m4a" "$work/b2.m4a"
  sync
  ours+=("$(timed "$app/neroAacEnc" -cbr 192000 -if "$work/m6.wav" -of "$work/ours.m4a")")
  sync
  base+=("$(timed halves)")
done
result "neroAacEnc 6 min vs two ffmpeg on halves" "$(median "${ours[@]}")" \
  "$(median "${base[@]}")" 1.15
rm -f "$work/m4.wav" "$work/m6.wav" "$work/h1.wav" "$work/h2.wav"

# Memory is bounded by the packets of the segments in flight, whatever the thread count: an
# hour of 24-bit stereo on 64 threads, against 512 MiB.
make_input 60 "$work/hour24.wav" pcm_s24le
rm -f "$work/m64.m4a"
/usr/bin/time -f %M -o "$work/peak" "$app/neroAacEnc" -threads 64 -cbr 192000 \
  -if "$work/hour24.wav" -of "$work/m64.m4a" >/dev/null 2>&1
result "neroAacEnc peak, 60 min 24-bit, -threads 64" "$(cat "$work/peak")" 524288 1.0 kB
rm -f "$work/hour24.wav" "$work/m64.m4a"

# And whatever the input's length: an hour, and four hours (2.5 GB of WAV), take little more
# than ten minutes.
peak() { # OUTPUT INPUT -> peak resident kilobytes
  rm -f "$1"
  /usr/bin/time -f %M -o "$work/peak" "$app/neroAacEnc" -cbr 192000 -if "$2" -of "$1" >/dev/null 2>&1
  cat "$work/peak"
}
ten=$(peak "$work/m10.m4a" "$work/ten.wav")
"$ffmpeg" -v error -nostdin -stream_loop 5 -i "$work/ten.wav" -c copy "$work/hour.wav"
result "neroAacEnc peak memory, 60 vs 10 min" "$(peak "$work/m60.m4a" "$work/hour.wav")" "$ten" 1.5 kB
rm -f "$work/hour.wav" "$work/m60.m4a"
"$ffmpeg" -v error -nostdin -stream_loop 23 -i "$work/ten.wav" -c copy "$work/four.wav"
result "neroAacEnc peak memory, 4 h vs 10 min" "$(peak "$work/m240.m4a" "$work/four.wav")" "$ten" 1.5 kB
rm -f "$work/four.wav" "$work/m240.m4a" "$work/m10.m4a"

# The ten minutes' encode, for the tagger's hour below.
"$ffmpeg" -v error -nostdin -y -i "$work/ten.wav" -c:a aac -b:a 192k "$work/base.m4a"

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
