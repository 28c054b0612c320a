# Shared by the benchmark scripts (sourced). Arithmetic goes through awk:
# bc is not on every machine.

# Best wall time of $repeat runs (default 3) of a command, in microseconds;
# the command's output is dropped.
best_us() {
  local best=999999999 t0 t1 us
  for _ in $(seq "${repeat:-3}"); do
    t0=$(date +%s%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    us=$(( (t1 - t0) / 1000 ))
    (( us < best )) && best=$us
  done
  echo "$best"
}

# calc EXPRESSION [NAME=VALUE ...]: the expression's value, by awk.
calc() {
  local expr=$1; shift
  local args=() a
  for a in "$@"; do args+=(-v "$a"); done
  awk "${args[@]}" "BEGIN { print $expr }"
}
