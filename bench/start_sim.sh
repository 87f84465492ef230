# Sourced by the figure, fixture and arm64 scripts: starts solwatch-sim in
# the background. Needs $sim_bin, $work and an array pids (killed on exit by
# the caller's trap).
start_sim() {  # start_sim NAME [options]: the device path in $port ("" if none came)
  local name=$1; shift
  : > "$work/$name.sim"  # there before the simulator's shell opens it, for head below
  "$sim_bin" "$@" > "$work/$name.sim" 2> /dev/null &
  pids+=($!)
  port=""
  for _ in $(seq 100); do port=$(head -n 1 "$work/$name.sim"); [ -n "$port" ] && break; sleep 0.05; done
}
# Nanoseconds on a processor of all threads of a process (they live as long
# as the dump; ticks of 1/100 s say little of a dump that idles).
cpu_ns() { awk '{ns += $1} END {print ns}' /proc/"$1"/task/*/schedstat; }
