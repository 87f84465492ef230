#!/usr/bin/env bash
# Records the scenario corpus (tests/scenarios/NAME/): solwatch --capture
# against solwatch-sim's profiles, with what solwatch printed as the
# expected result. Run it again when the simulator's answers change (its
# product names, say); name scenarios to record only those.
#
#   bash scripts/record-scenarios.sh [BUILD-DIR] [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [ $# -gt 0 ] && [ -d "$1" ]; then build=$1; shift; fi
solwatch=$build/app/solwatch sim=$build/sim/solwatch-sim
[ -x "$solwatch" ] && [ -x "$sim" ] || { echo "build solwatch and solwatch-sim in $build first" >&2; exit 1; }

# scenario NAME ABOUT SIM-OPTIONS SOLWATCH-ARGS STOP-AFTER-LINES REPLAY-OPTIONS
# (an empty STOP-AFTER: solwatch ends by itself); DEVICE, when set, is the
# device's command instead of solwatch-sim.
scenario() {
  local name=$1 dir=tests/scenarios/$1
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " =~ " $name " ]]; then return; fi
  mkdir -p "$dir"
  echo "$2" > "$dir/about"
  tr ' ' '\n' <<< "$4" | grep -v '^$' > "$dir/args" || true
  if [ -n "$5" ]; then echo "$5" > "$dir/stop-after"; else rm -f "$dir/stop-after"; fi
  tr ' ' '\n' <<< "$6" | grep -v '^$' > "$dir/replay" || true
  local -a device
  read -r -a device <<< "${DEVICE:-$sim}"
  read -r -a options <<< "$3"
  bash tests/scenarios/scenario.sh record "$solwatch" "$dir" -- "${device[@]}" "${options[@]}"
}
wanted=("$@")

# Table variants: the fast and channels tables, the full table of a charger
# with and without load output, and of the older charger (HEX device table).
scenario fast-variant "fast table, charger with load output" "--frozen" "-f" 4 ""
scenario fast-variant-no-load "fast table, charger without load output" "--frozen --no-load" "-f" 4 ""
scenario channels-variant "channels table, rows back to back" "--frozen" "-c" 21 "--replay-speed 4"
scenario full-variant "full table with the history records (history version 6)" "--frozen" "" 2 ""
scenario full-variant-older "full table of the older charger (device id 0x0300): its HEX table" \
  "--frozen --product-id 0x0300" "" 2 ""
# History versions.
scenario history-version-5 "full table of history version 5: no history columns" \
  "--frozen --history-version 5" "" 2 ""
scenario history-version-4 "full table of history version 4: the history from TEXT fields" \
  "--frozen --history-version 4" "" 2 ""
# Devices and lines that misbehave.
scenario get-mode "get mode: the identity lines, the product id as exit code" "" "-g" "" "--replay-speed 4"
scenario old-firmware "firmware 1.11: no load columns in the fast table" "--frozen --firmware 0x4111" "-f" 4 ""
scenario ignores-hex "a device that sends TEXT but answers no HEX request" "--text-only" "-f" "" "--replay-speed 4"
scenario hang-up "the line hangs up mid-dump and comes back; --reconnect goes on with the rows" \
  "--frozen --hangup-after 4 --hangup-for 1" "-f --reconnect" 7 ""
scenario hang-up-away "the line hangs up mid-dump and stays away 3 s: a try to open it fails, a later one works" \
  "--frozen --hangup-after 4 --hangup-for 3" "-f --reconnect" 9 ""
scenario noisy-line "stray bytes before every third TEXT block, every fourth block damaged, a reception error before every fourth answer" \
  "--frozen --garbage 7 --garbage-every 3 --corrupt-text-every 4 --reception-error 0xAAAA --reception-error-every 4" "-f" 4 ""
scenario late-answer "every HEX answer 150 ms late" "--frozen --answer-delay-ms 150" "-f" 4 ""
# A device that no test of ours wrote: a line emulator written from the
# protocol alone, independent of the simulator.
DEVICE="python3 tests/scenarios/line_emulator.py" scenario independent-emulator \
  "a line emulator independent of solwatch-sim (tests/scenarios/line_emulator.py)" "" "-f" 4 "--replay-speed 4"
