# What the benchmark scripts share, sourced after they set `state` (their Wine session's folder):
#   run_wine PROGRAM ARGS...   a Windows program in that session
#   windows_path PATH          this machine's path as Wine programs see it (drive Z:)
#   median, all                the median of a list of seconds on standard input; a list as [a, b]
#   ratio A B, difference A B  A / B (2 places), A - B (3 places)
#   goal VALUE LIMIT [at-least]   "met" or "NOT met" for VALUE <= LIMIT (or >= with at-least)
run_wine() { tools/wine-exec.sh "$state" "$@"; }
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
all() { echo "[$*]" | sed 's/ /, /g'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
difference() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a - b }'; }
goal() {
  awk -v v="$1" -v l="$2" -v s="${3:-at-most}" \
    'BEGIN { ok = (s == "at-least") ? (v >= l) : (v <= l); print ok ? "met" : "NOT met" }'
}
