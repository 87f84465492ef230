# Sourced by the --http figure scripts: their build, dumps of solwatch-sim
# with and without the server, and small clients.

# build_for_bench [TARGET...]: the programs and the targets in $build (an
# existing folder keeps its build type and gets the benchmarks); sets
# $solwatch, $sim_bin, $work and the array pids, killed on exit.
build_for_bench() {
  bash scripts/install-deps.sh
  local fresh=()
  [ -f "$build/CMakeCache.txt" ] || fresh=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  cmake -S . -B "$build" "${fresh[@]}" -DSOLWATCH_BENCH=ON > /dev/null
  cmake --build "$build" -j"$(nproc)" --target solwatch solwatch-sim "$@"
  solwatch=$build/app/solwatch
  sim_bin=$build/sim/solwatch-sim
  work=$(mktemp -d)
  pids=()
  trap 'kill "${pids[@]}" 2> /dev/null || true; wait 2> /dev/null || true; rm -rf "$work"' EXIT
}

source bench/start_sim.sh
# Nanoseconds on a processor of all threads of the process (they live as
# long as the dump; ticks of 1/100 s say little of a dump that idles).
cpu_ns() { awk '{ns += $1} END {printf "%.0f\n", ns}' /proc/"$1"/task/*/schedstat; }
# dump NAME [solwatch options]: a run whose rows are stamped on arrival;
# its pid in dump_pid[NAME]; the simulator's options in sim_options[NAME],
# and a runner for solwatch (taskset, say) in the array runner.
declare -A dump_pid sim_options
runner=()
dump() {
  local name=$1; shift
  start_sim "$name" ${sim_options[$name]:-}
  "${runner[@]}" "$solwatch" -s "$port" "$@" 2> "$work/$name.err" \
    > >(while IFS= read -r _; do echo "$EPOCHREALTIME"; done > "$work/$name.times") &
  dump_pid[$name]=$!
  pids+=($!)
}
# http_dump NAME [solwatch options]: dump with --http on a free port of the
# loopback, in http_port[NAME].
declare -A http_port
http_dump() {
  local name=$1; shift
  for _ in $(seq 10); do
    http_port[$name]=$((20000 + RANDOM % 40000))
    dump "$name" "$@" --http "127.0.0.1:${http_port[$name]}"
    for _ in $(seq 50); do
      (exec 3<> "/dev/tcp/127.0.0.1/${http_port[$name]}") 2> /dev/null && return
      kill -0 "${dump_pid[$name]}" 2> /dev/null || break
      sleep 0.1
    done
  done
  echo "no server came up for $name"; exit 1
}
http_get() {  # http_get PORT TARGET: the whole answer
  local fd
  exec {fd}<> "/dev/tcp/127.0.0.1/$1"
  printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' "$2" >&$fd
  timeout 5 cat <&$fd || true
  exec {fd}>&-
}
# events_client PORT FILE [FROM]: an /events client in the background, from
# FROM (an address of the loopback; default 127.0.0.1): the server takes
# only a few connections from one address.
events_client() {
  curl -sN --interface "${3:-127.0.0.1}" "http://127.0.0.1:$1/events" > "$2" &
  pids+=($!)
}
# The longest pause between two rows, beyond the second between them.
longest_gap() {
  awk 'NR > 2 { gap = $1 - last; if (gap > max) max = gap } { last = $1 }
       END { printf "%d rows, longest gap between rows %.3f s\n", NR, max }' "$1"
}

