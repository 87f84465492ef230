# Sourced by the figure and fixture scripts: starts solwatch-sim in the
# background. Needs $sim_bin, $work and an array pids (killed on exit by the
# caller's trap).
start_sim() {  # start_sim NAME [options]: the device path in $port
  local name=$1; shift
  "$sim_bin" "$@" > "$work/$name.sim" 2> /dev/null &
  pids+=($!)
  port=""
  for _ in $(seq 100); do port=$(head -n 1 "$work/$name.sim"); [ -n "$port" ] && break; sleep 0.05; done
}
