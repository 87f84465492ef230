#!/usr/bin/env bash
# The run list of scripts/install-deps.sh (what scripts/run.sh installs)
# against what building and running the programs as run.sh does takes: the
# files that a configure without the tests finds (find_package,
# pkg_check_modules, find_library, find_path, the compiler, Ninja,
# pkg-config), CMake, gnuplot, and the headers and libraries of the programs
# in BUILD_DIR, a built Ninja tree. Each must come from a package of the run
# list, one that these depend on, or the base system (Essential, required).
#   check_run_packages.sh SOURCE_DIR BUILD_DIR [CMAKE]
set -euo pipefail
source_dir=$(realpath "$1") build_dir=$(realpath "$2") cmake=${3:-cmake}
source "$(dirname "$0")/common.sh"
lists=$source_dir/scripts/install-deps.sh
twice=$({ bash "$lists" --list run; bash "$lists" --list test; } | sort | uniq -d)
[ -z "$twice" ] || fail "named twice in scripts/install-deps.sh:" $twice
{ apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances $(bash "$lists" --list run) | grep -v '^[ <]'
  dpkg-query -W -f='${Package} ${Essential} ${Priority}\n' | awk '$2 == "yes" || $3 == "required" {print $1}'
} > "$work/allowed"

"$cmake" -S "$source_dir" -B "$work/tree" -G Ninja -DSOLWATCH_TESTS=OFF > "$work/out" 2>&1 ||
  { cat "$work/out"; fail "a configure without the tests fails"; exit 1; }
programs='app/solwatch|sim/solwatch-sim|plot/solwatch-plot'
ninja -C "$build_dir" -t commands ${programs//|/ } > "$work/commands"
{ sed -nE '/^CMAKE_INSTALL_/d; s#^[A-Za-z0-9_]+:(FILEPATH|PATH)=(/.*)#\2#p' "$work/tree/CMakeCache.txt"
  command -v "$cmake"; command -v gnuplot || echo /usr/bin/gnuplot
  ninja -C "$build_dir" -t deps $(grep -oE ' -o [^ ]+\.o -c ' "$work/commands" | cut -d' ' -f3) | grep -E '^ +/'
  grep -E -- " -o ($programs) " "$work/commands" | tr ' ' '\n' | grep '^/'
} | xargs realpath -m -s | grep -v -e "^$source_dir/" -e "^$build_dir/" | sort -u > "$work/needed"
[ "$(wc -l < "$work/needed")" -gt 1000 ] || fail "too few headers: build the programs in $build_dir first"

# Owners; a file that no package owns (an alternative such as /usr/bin/c++)
# by the file that its links lead to.
owners() { xargs -r dpkg -S 2> /dev/null | grep -v '^diversion' || true; }
owners < "$work/needed" > "$work/owners"
sed 's/.*: //' "$work/owners" | sort | comm -23 "$work/needed" - | xargs -r realpath -m | owners >> "$work/owners"
awk 'NR == FNR {allowed[$1] = 1; next} {split($0, f, ": "); gsub(/:[a-z0-9]+/, "", f[1]); n = split(f[1], p, ", ")
  for (i = 1; i <= n; i++) if (p[i] in allowed) next; if (!seen[f[1]]++) print f[1] " (for " f[2] ")"}' \
  "$work/allowed" "$work/owners" > "$work/lacking"
while read -r line; do fail "the run list (run=() in scripts/install-deps.sh) lacks $line"; done < "$work/lacking"
[ "$(sed 's/.*: //' "$work/owners" | sort -u | wc -l)" -ge "$(wc -l < "$work/needed")" ] ||
  fail "no package owns: $(sed 's/.*: //' "$work/owners" | sort | comm -23 "$work/needed" - | head -n 5)"
[ "$failed" -eq 1 ] || echo "run list: $(sort -u "$work/allowed" | wc -l) packages with what they depend on" \
  "and the base system cover the $(wc -l < "$work/needed") files that building and running take"
exit "$failed"
