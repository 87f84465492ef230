#!/usr/bin/env bash
# Scenario tests: a capture of a device, or the simulator's options, and what
# solwatch made of it, in a folder of files (README.md here). Adding a
# scenario is adding a folder.
#
#   scenario.sh run SOLWATCH SOLWATCH-SIM DIR
#       replays DIR/capture.cap (or runs the simulator with DIR/sim-args),
#       runs solwatch on it and compares; a difference prints a diff and fails
#   scenario.sh record SOLWATCH DIR -- DEVICE COMMAND...
#       runs solwatch with --capture against the device (a program that
#       prints its terminal's path first and takes --link PATH) and writes
#       the capture and the expected results
#   scenario.sh roundtrip SOLWATCH SOLWATCH-SIM DIR -- DEVICE COMMAND...
#       records DIR's scenario afresh against the device, then runs it
set -euo pipefail

# Whole-run limit: a run that waits for rows that never come ends here.
run_limit=100
# The full table's first row comes this long after its table starts rather
# than at the whole minute: long enough for TEXT blocks to fill the row.
first_row_after=5

words() { [ -f "$1" ] && grep -v '^#' "$1" || true; }

# The device prints its terminal first; its --link follows a hang-up.
start_device() {  # start_device WORK COMMAND...
  local work=$1; shift
  "$@" --link "$work/line" > "$work/device.out" 2> "$work/device.err" &
  device_pid=$!
  for _ in $(seq 100); do
    [ -L "$work/line" ] && [ -s "$work/device.out" ] && return 0
    kill -0 "$device_pid" 2> /dev/null || break
    sleep 0.1
  done
  echo "the device did not start:" >&2; cat "$work/device.err" >&2; return 1
}

device_pid=
stop_device() { [ -n "$device_pid" ] || return 0; kill "$device_pid" 2> /dev/null || true; wait "$device_pid" 2> /dev/null || true; }

# Runs solwatch on the line with DIR's options; with DIR/stop-after, stops it
# with SIGINT once that many lines are out. Leaves out, err and code in WORK,
# and with a stop, the number of log lines by then in err-at-stop.
run_solwatch() {  # run_solwatch SOLWATCH DIR WORK [EXTRA OPTIONS...]
  local solwatch=$1 dir=$2 work=$3; shift 3
  local -a args; mapfile -t args < <(words "$dir/args")
  local stop_after; stop_after=$(words "$dir/stop-after")
  : > "$work/out"  # there before the background job opens it, for the count below
  timeout -s KILL "$run_limit" "$solwatch" -s "$work/line" --first-row-after "$first_row_after" \
    "${args[@]}" "$@" > "$work/out" 2> "$work/err" &
  local pid=$!
  if [ -n "$stop_after" ]; then
    while kill -0 "$pid" 2> /dev/null && [ "$(wc -l < "$work/out")" -lt "$stop_after" ]; do sleep 0.05; done
    wc -l < "$work/err" > "$work/err-at-stop"
    sleep "${linger:-0}"
    kill -INT "$pid" 2> /dev/null || true
  fi
  local code=0; wait "$pid" || code=$?
  echo "$code" > "$work/code"
}

# Times, the line's paths and log stamps masked; with a stop, the lines up to it.
masked_out() {  # masked_out DIR WORK
  local stop_after; stop_after=$(words "$1/stop-after")
  sed -E 's/"[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}"/"TIME"/g' "$2/out" |
    if [ -n "$stop_after" ]; then head -n "$stop_after"; else cat; fi
}
masked_log() { sed -E -e 's/^[0-9]{3}\.[0-9]{3} //' -e "s#$1/line#PORT#g" -e 's#/dev/pts/[0-9]+#PTY#g' "$1/err"; }

# Whether the rows up to the stop, two at least, are GAP seconds apart by
# their time stamps ("Wed Dec  9 08:59:32 2026": the time is the fourth word).
rows_apart() {  # rows_apart GAP DIR WORK
  local stop_after; stop_after=$(words "$2/stop-after")
  head -n "${stop_after:-1000000}" "$3/out" | awk -v gap="$1" '
    /^"[A-Z][a-z][a-z] / { split($4, t, ":"); s = t[1] * 3600 + t[2] * 60 + t[3]
                           if (n++ > 0 && (s - last + 86400) % 86400 != gap) bad = 1; last = s }
    END { exit (n < 2 || bad) }'
}

# Whether the lines of file $1 appear in file $2 in this order.
in_order() { awk 'BEGIN { i = 0 } FILENAME == ARGV[1] { want[n++] = $0; next } i < n && $0 == want[i] { i++ } END { exit (i < n) }' "$1" "$2"; }

# run and record run in subshells, whose exit stops the device and cleans up.
run() (
  local solwatch=$1 sim=$2 dir=$3 work; work=$(mktemp -d)
  trap 'stop_device; rm -rf "$work"' EXIT
  local -a device
  if [ -f "$dir/sim-args" ]; then mapfile -t device < <(words "$dir/sim-args")
  else mapfile -t device < <(echo --replay; echo "$dir/capture.cap"; words "$dir/replay"); fi
  start_device "$work" "$sim" "${device[@]}"
  run_solwatch "$solwatch" "$dir" "$work"
  masked_out "$dir" "$work" > "$work/got-out"
  masked_log "$work" > "$work/got-log"
  local failed=0
  if ! diff -u "$dir/expected-out" "$work/got-out"; then echo "-- standard output differs"; failed=1; fi
  if [ "$(cat "$work/code")" != "$(cat "$dir/expected-code")" ]; then
    echo "-- exit code $(cat "$work/code"), expected $(cat "$dir/expected-code")"; failed=1
  fi
  if [ -f "$dir/expected-log" ] && ! in_order "$dir/expected-log" "$work/got-log"; then
    echo "-- log lines missing or out of order:"; diff -u "$dir/expected-log" "$work/got-log" || true; failed=1
  fi
  if [ -f "$dir/row-gap" ] && ! rows_apart "$(words "$dir/row-gap")" "$dir" "$work"; then
    echo "-- rows not $(words "$dir/row-gap") s apart:"; grep '^"' "$work/out" | cut -d , -f 1; failed=1
  fi
  if [ -f "$dir/expected-err" ] && ! diff -u "$dir/expected-err" "$work/got-log"; then
    echo "-- standard error differs"; failed=1
  fi
  if [ "$failed" -ne 0 ]; then echo "-- standard error:"; head -n 80 "$work/err"; return 1; fi
  echo "scenario $(basename "$dir"): same output, exit code and log lines"
)

record() (
  local solwatch=$1 dir=$2; shift 3  # the third word is "--"
  local work; work=$(mktemp -d)
  trap 'stop_device; rm -rf "$work"' EXIT
  start_device "$work" "$@"
  # A little longer than the replay waits: the capture outlasts its lines.
  linger=${RECORD_LINGER:-3} run_solwatch "$solwatch" "$dir" "$work" --capture "$work/capture.cap"
  masked_out "$dir" "$work" > "$dir/expected-out"
  cp "$work/code" "$dir/expected-code"
  # Each line once, as the replay may stop before the recording's repeats;
  # none from the linger, as the replay stops at the stop; source locations
  # in error reports move with every edit: left out.
  local log_lines; log_lines=$(cat "$work/err-at-stop" 2> /dev/null || wc -l < "$work/err")
  masked_log "$work" | head -n "$log_lines" | awk '!seen[$0]++' | grep -v -E '\.(cpp|h)\([0-9]+\)' > "$dir/expected-log" || true
  { head -n 1 "$work/capture.cap"; words "$dir/about" | sed 's/^/# /'
    echo "# solwatch $(tr '\n' ' ' < "$dir/args")against: ${*##*/}"; tail -n +2 "$work/capture.cap"; } > "$dir/capture.cap"
  echo "recorded $(basename "$dir"): $(grep -c ' rx ' "$dir/capture.cap") reads, $(grep -c ' tx ' "$dir/capture.cap") requests"
)

roundtrip() {
  local solwatch=$1 sim=$2 copy; copy=$(mktemp -d)
  cp "$3"/{about,args,replay} "$copy"; cp "$3"/stop-after "$copy" 2> /dev/null || true
  shift 3
  record "$solwatch" "$copy" "$@" && run "$solwatch" "$sim" "$copy" || { rm -rf "$copy"; return 1; }
  rm -rf "$copy"
}

case "${1:-}" in
  run) shift; run "$@" ;;
  record) shift; record "$@" ;;
  roundtrip) shift; roundtrip "$@" ;;
  *) echo "usage: scenario.sh run SOLWATCH SOLWATCH-SIM DIR | record SOLWATCH DIR -- DEVICE..." \
       "| roundtrip SOLWATCH SOLWATCH-SIM DIR -- DEVICE..." >&2; exit 2 ;;
esac
