#!/usr/bin/env bash
# End-to-end runs of the Windows solwatch.exe under wine, against the host's
# solwatch-sim on pseudo-terminals reached as COM ports (scripts/wine-com.sh),
# beside the host's own solwatch where their results must agree.
#
#   bash scripts/windows-e2e.sh [--quick] EXE HOST_BUILD_DIR WINE_BUILD_DIR
#
# Every case waits for what it looks for (a line, a row, a file) with a
# bound, never for a time. --quick: the version, the get mode and the fast
# rows only (the other architecture's program).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
quick=0
[ "${1:-}" = --quick ] && { quick=1; shift; }
exe=$(realpath "$1")
host=$(realpath "$2")
wine_build=$(realpath -m "$3")
source "$here/wine-com.sh"
wine_prefix "$wine_build"
export WINE_SOLWATCH_EXE=$exe WINE_SOLWATCH_BUILD=$wine_build
# Under timeout, as the scenarios run it: a script's background job ignores
# SIGINT, and timeout hands it on to the whole run, wine's loader included.
win=(timeout -s KILL 100 "$here/wine-solwatch.sh")

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2> /dev/null || true; rm -rf "$work"; [ "${failures:-0}" -eq 0 ] || exit 1' EXIT
fail() { echo "windows end to end ($(basename "$exe")): $*" >&2; exit 1; }
# A case whose failure leaves the others to run; the script fails at its end.
failures=0
fail_on() { echo "windows end to end ($(basename "$exe")): $* FAILED" >&2; failures=$((failures + 1)); }
passed() { echo "windows end to end: $1 ok ($((SECONDS - case_start)) s)"; case_start=$SECONDS; }
case_start=$SECONDS
# Generous: a wine program starts in a second or two, more on a busy machine.
bound_tenths=300

sim_bin=$host/sim/solwatch-sim
source "$here/../bench/start_sim.sh"
frozen_sim() {  # frozen_sim NAME [options]: the terminal's path in $port
  start_sim "$1" --frozen "${@:2}"
  [ -n "$port" ] || fail "solwatch-sim gave no terminal"
}
lines() { if [ -f "$1" ]; then wc -l < "$1"; else echo 0; fi; }
# wait_for PID TEST...: until the test holds or the program ended, within the bound.
wait_for() {
  local pid=$1 i; shift
  for i in $(seq "$bound_tenths"); do
    "$@" && return 0
    kill -0 "$pid" 2> /dev/null || { "$@"; return; }
    sleep 0.1
  done
  return 1
}
at_least() { [ "$(lines "$1")" -ge "$2" ]; }
# stop PID: Ctrl-C (SIGINT, which wine hands on as a console Ctrl-C); its
# exit status in $stopped.
stop() {
  kill -INT "$1" 2> /dev/null || true
  stopped=0
  wait "$1" || stopped=$?
}
whole_rows() { awk -F, 'NR == 1 {n = NF} NF != n {exit 1}' "$1"; }
values() { tail -n +2 "$1" | cut -d, -f2- | sort -u; }

# --version: the same text as the host's.
[ "$("${win[@]}" --version)" = "$("$host/app/solwatch" --version)" ] || fail "--version differs from the host's"
passed "--version"

# -g through a batch file, which sees the whole exit code: the product id.
frozen_sim get
com=$(wine_com_take "$port")
printf '@echo off\r\n"%s" -s COM%s -g > "%s"\r\necho exit %%ERRORLEVEL%%\r\n' "$(winepath -w "$exe")" "$com" \
  "$(winepath -w "$work/get.txt")" > "$work/get.bat"
code=$(/usr/lib/wine/wine64 cmd /c "$(winepath -w "$work/get.bat")" 2> "$work/get.err" | tr -d '\r' || true)
wine_com_free "$com"
tr -d '\r' < "$work/get.txt" > "$work/get.out"
[ "$code" = "exit $((0xA042))" ] || { cat "$work/get.out" "$work/get.err" >&2; fail "-g: '$code', not the product id"; }
grep -q '^Serial number    HQ2042SIM01$' "$work/get.out" || fail "-g printed no serial number"
passed "-g (exit code $((0xA042)) in cmd)"

# -f: a row a second; Ctrl-C ends the dump with 0. The host's rows of a
# second frozen device have the same values.
fast_rows() {  # fast_rows NAME COMMAND...
  local name=$1; shift
  frozen_sim "$name"
  "$@" -s "$port" -f > "$work/$name.csv" 2> "$work/$name.err" &
  local dump=$!
  wait_for "$dump" at_least "$work/$name.csv" 4 || true
  stop "$dump"
  local status=$stopped
  if [ "$status" -ne 0 ] || [ "$(lines "$work/$name.csv")" -lt 4 ]; then
    cat "$work/$name.csv" "$work/$name.err" >&2
    fail "$name: -f ended with $status after $(($(lines "$work/$name.csv") - 1)) rows"
  fi
  whole_rows "$work/$name.csv" || fail "$name: a row is not whole"
}
fast_rows fast "${win[@]}"
fast_rows host "$host/app/solwatch"
[ "$(values "$work/fast.csv")" = "$(values "$work/host.csv")" ] || fail "-f rows differ from the host's"
head -n 1 "$work/fast.csv" | cmp -s - <(head -n 1 "$work/host.csv") || fail "-f header differs from the host's"
passed "-f rows as the host's, Ctrl-C ends with 0"
[ "$quick" -eq 0 ] || exit 0

# -w: the same image as the host's, in CR LF lines.
image() {  # image NAME COMMAND...
  local name=$1; shift
  frozen_sim "$name"
  "$@" -s "$port" -w "$work/$name.hex" > "$work/$name.out" 2>&1 || { cat "$work/$name.out" >&2; fail "$name: -w failed"; }
}
image win-image "${win[@]}"
image host-image "$host/app/solwatch"
# The host's lines with CR LF ends (Intel HEX lines have them already).
if sed 's/\r*$/\r/' "$work/host-image.hex" | cmp -s - "$work/win-image.hex"; then
  passed "-w x.hex ($(lines "$work/win-image.hex") lines, the host's in CR LF)"
else
  fail_on "-w: the image is not the host's in CR LF lines ($(head -n 1 "$work/win-image.hex" | od -An -c | tr -s ' '))"
  case_start=$SECONDS
fi

# -o with --rotate daily: the day's file, header first, in CR LF lines.
frozen_sim output
"${win[@]}" -s "$port" -f -o "$work/table.csv" --rotate daily > "$work/output.out" 2> "$work/output.err" &
dump=$!
day_file() { compgen -G "$work/table-*.csv" > /dev/null && at_least "$(compgen -G "$work/table-*.csv" | head -n 1)" 2; }
wait_for "$dump" day_file || { cat "$work/output.err" >&2; fail "-o --rotate daily: no file with a row"; }
stop "$dump"
[ "$stopped" -eq 0 ] || fail "-o --rotate daily: the dump did not end with 0"
file=$(compgen -G "$work/table-*.csv" | head -n 1)
head -n 1 "$file" | tr -d '\r' | cmp -s - <(head -n 1 "$work/host.csv") || fail "-o: $(basename "$file") has no header"
[ "$(head -n 1 "$file" | tail -c 2 | od -An -c | tr -d ' ')" = '\r\n' ] || fail "-o: the header does not end in CR LF"
passed "-o --rotate daily ($(basename "$file"))"

# -o into a missing folder: the host's error box and exit code, with the
# system's own reason for the missing folder (Windows' text is not Linux's).
missing_folder() {  # missing_folder NAME COMMAND...: its standard error, the reason left out
  local name=$1 code=0; shift
  frozen_sim "$name"
  "$@" -s "$port" -o "$work/missing/out.csv" > /dev/null 2> "$work/$name.err" || code=$?
  [ "$code" -eq 255 ] || { cat "$work/$name.err" >&2; fail "-o into a missing folder ended with $code"; }
  sed -E 's/(cannot open output file [^:]*: )[^=]+/\1REASON/' "$work/$name.err"
}
[ "$(missing_folder win-missing "${win[@]}")" = "$(missing_folder host-missing "$host/app/solwatch")" ] ||
  fail "-o into a missing folder: the error differs from the host's ($(tr -d '\r' < "$work/win-missing.err"))"
passed "-o into a missing folder: $(grep -o 'cannot open output file.*' "$work/win-missing.err" | cut -d= -f1)"

# --reconnect: a line that hangs up and comes back. Wine reads a hung-up
# terminal as silence, so the loss is the silence timeout's.
start_sim lost --frozen --link "$work/line" --hangup-after 4 --hangup-for 2
[ -n "$port" ] || fail "solwatch-sim gave no terminal"
"${win[@]}" -s "$work/line" -f --reconnect --silence-timeout 2 > "$work/lost.csv" 2> "$work/lost.err" &
dump=$!
lost() { grep -q 'link lost' "$work/lost.err"; }
wait_for "$dump" lost || { cat "$work/lost.err" >&2; fail "--reconnect: no loss logged"; }
rows_at_loss=$(lines "$work/lost.csv")
wait_for "$dump" at_least "$work/lost.csv" $((rows_at_loss + 2)) || { cat "$work/lost.err" >&2; fail "--reconnect: no rows after the loss"; }
stop "$dump"
[ "$stopped" -eq 0 ] || fail "--reconnect: the dump did not end with 0"
whole_rows "$work/lost.csv" || fail "--reconnect: a row is not whole"
passed "--reconnect: $(grep -o 'link lost: .*' "$work/lost.err" | head -n 1 | tr -d '\r'), rows again"

# --http (Beast on Winsock) and --capture beside -f: /metrics counts the
# rows, and the capture keeps its own line ends (binary mode, no CR added).
frozen_sim served
http_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"${win[@]}" -s "$port" -f --http "127.0.0.1:$http_port" --capture "$work/served.cap" > /dev/null 2> "$work/served.err" &
dump=$!
rows_served() {
  python3 -c 'import sys, urllib.request; print(urllib.request.urlopen(sys.argv[1], timeout=5).read().decode())' \
    "http://127.0.0.1:$http_port/metrics" 2> /dev/null | grep -qE '^solwatch_rows_total(\{[^}]*\})? [1-9]'
}
wait_for "$dump" rows_served || { cat "$work/served.err" >&2; fail "--http: /metrics counts no row"; }
stop "$dump"
[ "$stopped" -eq 0 ] || fail "--http --capture: the dump did not end with 0"
head -n 1 "$work/served.cap" | grep -q '^solwatch-capture 1 ' || fail "--capture: no capture header"
grep -q '^[0-9.]* rx ' "$work/served.cap" || fail "--capture: no bytes received"
if grep -q $'\r' "$work/served.cap"; then fail "--capture: a CR in the capture's lines"; fi
passed "--http: /metrics counts the rows; --capture: $(grep -c ' rx ' "$work/served.cap") reads, lines unchanged"

# The scenario corpus against solwatch.exe, three at a time (each mostly
# waits for the simulator's line). Left out, each with its reason:
#   hang-up, hang-up-away: wine reads a hung-up terminal as silence, so the
#     loss's reason is the silence timeout's rather than the read error's
#     (see above);
#   output-file-cannot-open: its reason is the system's text (see above);
#   independent-emulator: its round trip records afresh with the host build.
scenario_dirs=()
for dir in "$here"/../tests/scenarios/*/; do
  case "$(basename "$dir")" in hang-up | hang-up-away | output-file-cannot-open | independent-emulator) continue ;; esac
  [ -f "$dir/args" ] && scenario_dirs+=("$(realpath "$dir")")
done
export sim_bin
printf '%s\n' "${scenario_dirs[@]}" |
  xargs -P 3 -I{} bash -c 'out=$(bash "$0" run "$1" "$sim_bin" {} 2>&1) && echo "$out" ||
    { echo "$out"; echo "scenario $(basename {}) FAILED"; }' "$here/../tests/scenarios/scenario.sh" "$here/wine-solwatch.sh" \
  > "$work/scenarios.out"
same=$(grep -c '^scenario .*: same output' "$work/scenarios.out" || true)
if [ "$same" -ne "${#scenario_dirs[@]}" ]; then
  cat "$work/scenarios.out" >&2
  # A program that ends with 1 and no word was ended by a wine server's
  # shutdown: which servers ran, and since when.
  ps -o pid=,etimes=,args= -C wineserver64,wineserver32 >&2 || true
  fail "scenarios: $same of ${#scenario_dirs[@]} as on Linux"
fi
passed "scenarios: all ${#scenario_dirs[@]} as on Linux (four left out)"
