#!/usr/bin/env bash
# Plants small faults in the code, one at a time, and shows that the tests
# guarding that code notice each of them: run it after folding or moving
# tests, to show that no check was lost on the way.
#
#   bash scripts/mutants.sh [BUILD-DIR] [NAME-PATTERN]
#
# BUILD-DIR (default: build) is an existing tree configured with
# -DSOLWATCH_TESTS=ON; only the named test targets are rebuilt in it, so a
# warm tree (or ccache) keeps each mutant to one file's compile and a link.
# NAME-PATTERN (an extended regular expression) runs only the matching mutants.
#
# Each mutant replaces a piece of one line by another; the piece must occur
# exactly once in the file, so a moved or rewritten line stops the script
# instead of planting nothing. The source is restored after each mutant and
# on any exit, interrupts included. A mutant is caught when its ctest
# selection fails; the script fails unless every mutant is caught.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
only=${2:-}
[ -f "$build/CMakeCache.txt" ] || { echo "mutants: $build is not a configured build folder" >&2; exit 2; }

saved=$(mktemp -d)
log=$saved/log
mutated=""  # the file that holds a mutant right now
restore() {
  if [ -n "$mutated" ]; then
    # A plain copy, not one that keeps the saved time stamp: the restored
    # file must look newer than the mutant's objects, or they would stay.
    cp "$saved/original" "$mutated"
    mutated=""
  fi
}
trap 'restore; rm -rf "$saved"' EXIT
trap 'echo "mutants: interrupted" >&2; exit 130' INT TERM HUP

names=() files=() olds=() news=() targets=() selections=()
# mutant NAME FILE OLD NEW "TARGETS" CTEST-ARGS...: one planted fault, run below
mutant() {
  [[ -z "$only" || "$1" =~ $only ]] || return 0
  names+=("$1") files+=("$2") olds+=("$3") news+=("$4") targets+=("$5")
  shift 5
  selections+=("$*")
}

build_targets() {  # build_targets "TARGETS"
  local list
  read -ra list <<< "$1"
  nice -n 5 cmake --build "$build" -j"$(nproc)" --target "${list[@]}" > "$log" 2>&1 || { tail -n 30 "$log"; return 1; }
}
run_selection() {  # run_selection "CTEST-ARGS": fails when a test fails
  local args
  read -ra args <<< "$1"
  ctest --test-dir "$build" -j4 --timeout 180 --stop-on-failure "${args[@]}" > "$log" 2>&1
}

plant() {  # plant INDEX: the mutant in its file, the original kept aside
  local file=${files[$1]} old=${olds[$1]}
  cp "$file" "$saved/original"
  mutated=$file
  OLD=$old NEW=${news[$1]} awk '{
      i = index($0, ENVIRON["OLD"])
      if (i) $0 = substr($0, 1, i - 1) ENVIRON["NEW"] substr($0, i + length(ENVIRON["OLD"]))
      print }' "$saved/original" > "$file"
  diff "$saved/original" "$file" | sed -n 's/^[<>]/  &/p'
}

# The TEXT block's checksum: a block whose bytes do not sum to zero is dropped.
mutant text-checksum link/text_framer.cpp \
  'bool valid = textChecksum_ == 0;' 'bool valid = true;' \
  link_tests -L '^link$'
# A HEX frame is taken only when its bytes sum to the target.
mutant hex-frame-checksum hex/hex_frame.cpp \
  'if (digits_ != 0 && sum_ == kHexChecksumTarget) {' 'if (digits_ != 0) {' \
  hex_tests -L '^hex$'
# The refusal of a device that is no supported charger exits with 91.
mutant refusal-exit-code identity/capabilities.cpp \
  '"only mppt chargers are supported", kExitNotCharger' '"only mppt chargers are supported", kExitNoDeviceId' \
  identity_tests -L '^identity$'
# An application's firmware version has two hex digits of minor number.
mutant firmware-version identity/firmware.cpp \
  '"%X.%02X"' '"%X.%X"' \
  identity_tests -L '^identity$'
# A header line is one where every cell starts with a letter.
mutant csv-header-rule output/output_file.cpp \
  '!std::isalpha(static_cast<unsigned char>(line[start]))' '!std::isalnum(static_cast<unsigned char>(line[start]))' \
  output_tests -L '^output$'
# Values in tenths are divided by ten.
mutant tenths-scale dumper/value_format.cpp \
  'parseScaled(item, text, 10); }' 'parseScaled(item, text, 100); }' \
  dumper_tests -L '^dumper$'
# The full table prints its row at the next whole minute.
mutant full-table-minute dumper/dump_loop.cpp \
  '% 60 + 60) % 60 + 60;' '% 60 + 60) % 60 + 61;' \
  dumper_tests -L '^dumper$'
# The charge state's names, as the table prints them.
mutant charge-state-name fields/field_catalogue.cpp \
  '"BULK"' '"BULC"' \
  dumper_tests -L '^dumper$'
# --keep N keeps the N newest period files, the current one counted.
mutant keep-count output/rotating_file.cpp \
  'std::max(keep - 1, 0)' 'std::max(keep, 0)' \
  output_tests -L '^output$'
# The reconnect back-off's last step is 30 seconds.
mutant reconnect-backoff app/reconnect_policy.cpp \
  '{1, 2, 4, 8, 16, 30}' '{1, 2, 4, 8, 16, 60}' \
  app_tests -L '^app$'
# A ping answer shows that the device talks HEX.
mutant ping-answer-code reader/tam_get_parser.cpp \
  'kPingAnswerCode = 0x5;' 'kPingAnswerCode = 0x6;' \
  reader_tests -L '^reader$'
# The get mode's identity lines, as the replayed captures expect them.
mutant get-mode-identity app/run_sequence.cpp \
  '"Serial number    "' '"Serial number   "' \
  "solwatch solwatch-sim" -L '^scenarios$'

[ ${#names[@]} -gt 0 ] || { echo "mutants: none matches '$only'" >&2; exit 2; }

# Every mutant's line first, so that a moved one stops the script at once.
for i in "${!names[@]}"; do
  count=$(grep -cF -- "${olds[i]}" "${files[i]}")
  [ "$count" -eq 1 ] ||
    { echo "mutants: '${olds[i]}' occurs $count times in ${files[i]}, not once: update '${names[i]}'" >&2; exit 2; }
done

# A selection that fails unchanged would catch every mutant: each must pass first.
while IFS= read -r selection; do
  echo "== unchanged: ctest $selection"
  for i in "${!names[@]}"; do
    [ "${selections[i]}" = "$selection" ] && { build_targets "${targets[i]}" || exit 1; }
  done
  run_selection "$selection" || { tail -n 40 "$log"; echo "mutants: ctest $selection fails without a mutant" >&2; exit 1; }
  grep -E 'tests passed|tests failed' "$log"
done < <(printf '%s\n' "${selections[@]}" | sort -u)

results=()
failures=0
for i in "${!names[@]}"; do
  echo "== ${names[i]}: ${files[i]}"
  plant "$i"
  start=$SECONDS
  if ! build_targets "${targets[i]}"; then
    verdict="BUILD FAILED"
  elif run_selection "${selections[i]}"; then
    verdict="no"
    grep -E 'tests passed|tests failed' "$log"
  else
    verdict="yes"
    grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*' "$log" | head -n 3
  fi
  restore
  [ "$verdict" = yes ] || failures=$((failures + 1))
  results+=("$(printf '%-22s %-12s %5d s' "${names[i]}" "$verdict" $((SECONDS - start)))")
done

# Back to the unchanged sources in the tree's objects too (ccache has them).
echo "== rebuilding the unchanged sources"
build_targets "$(printf '%s\n' "${targets[@]}" | tr ' ' '\n' | sort -u | tr '\n' ' ')" || exit 1

echo
printf '%-22s %-12s %7s\n' mutant caught time
printf '%s\n' "${results[@]}"
[ "$failures" -eq 0 ] || { echo "mutants: $failures of ${#results[@]} not caught" >&2; exit 1; }
echo "mutants: all ${#results[@]} caught"
