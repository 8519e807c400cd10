# Sourced by the benchmark scripts: median wall times of RUNS runs of a
# command (its output dropped).
median_time() {
  local divisor=$1
  shift
  local times=()
  for _ in $(seq "$RUNS"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(( (end - start) / divisor )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (RUNS + 1) / 2 ))p"
}
median_ms() { median_time 1000000 "$@"; }
median_us() { median_time 1000 "$@"; }
