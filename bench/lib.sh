# Helpers shared by the benchmark scripts; source it.

now() { date +%s.%N; }
elapsed() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.3f\n", e - s }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Prints a readable line and the tab-separated line bench/run collects:
#   result NAME OURS BASELINE RATIO GOAL pass|FAIL
# The goal is met when ours / baseline is at most MAX_RATIO.
result() { # NAME OURS BASELINE MAX_RATIO [UNIT]
  awk -v n="$1" -v o="$2" -v b="$3" -v l="$4" -v u="${5:-s}" 'BEGIN {
    r = o / b; ok = r <= l ? "pass" : "FAIL"
    printf "%-40s ours %8.3f %s   baseline %8.3f %s   ratio %.3f (at most %s) %s\n", n, o, u, b, u, r, l, ok
    printf "result\t%s\t%.3f %s\t%.3f %s\t%.3f\t<= %s\t%s\n", n, o, u, b, u, r, l, ok
  }'
}

# The same line for a goal from below: met when ours / baseline is at least MIN_RATIO.
result_at_least() { # NAME OURS BASELINE MIN_RATIO [UNIT]
  awk -v n="$1" -v o="$2" -v b="$3" -v l="$4" -v u="${5:-s}" 'BEGIN {
    r = o / b; ok = r >= l ? "pass" : "FAIL"
    printf "%-40s ours %8.3f %s   baseline %8.3f %s   ratio %.3f (at least %s) %s\n", n, o, u, b, u, r, l, ok
    printf "result\t%s\t%.3f %s\t%.3f %s\t%.3f\t>= %s\t%s\n", n, o, u, b, u, r, l, ok
  }'
}

# Runs COMMAND with its output dropped and appends its wall seconds to the array named VAR.
timed() { # VAR COMMAND...
  local -n into=$1
  shift
  sync
  local start
  start=$(now)
  "$@" >/dev/null
  into+=("$(elapsed "$start" "$(now)")")
}

# Writes track I of the ten three-minute test tracks to PATH: pink noise and a tone of its own.
# Bit-exact output keeps the canonical 44-byte header the decoders write, which the job reads.
make_track() { # I PATH
  /usr/bin/ffmpeg -v error -nostdin -f lavfi -i "anoisesrc=d=180:r=44100:c=pink:a=0.2:s=$1" \
    -f lavfi -i "sine=f=$((200 + 40 * 10#$1)):d=180:r=44100" \
    -filter_complex "[0][1]amerge=inputs=2" -ac 2 -fflags +bitexact -flags:a +bitexact \
    -c:a pcm_s16le "$2"
}
