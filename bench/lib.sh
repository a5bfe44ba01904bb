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
