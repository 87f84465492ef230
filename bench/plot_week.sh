#!/usr/bin/env bash
# Time to draw a week of -f rows (one a second: 604,800 rows) to PNG with
# solwatch-plot. The table is made up here in solwatch's -f form, a day
# curve with passing clouds; the script prints the figures and passes or
# fails nothing.
#   bash bench/plot_week.sh [days, default 7]
#   SOLWATCH_PLOT=path/to/solwatch-plot bash bench/plot_week.sh   (no build)
set -euo pipefail
cd "$(dirname "$0")/.."
days=${1:-7}
plot=${SOLWATCH_PLOT:-}
if [ -z "$plot" ]; then
  bash scripts/install-deps.sh
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOLWATCH_TESTS=OFF > /dev/null
  cmake --build build-bench -j"$(nproc)" --target solwatch-plot
  plot=build-bench/plot/solwatch-plot
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

perl -MPOSIX -e '
  my ($days) = @ARGV;
  my $start = 1796601600;  # a Monday, 00:00
  print "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err,Load,Iload[A]\n";
  srand(1);
  my $cloud = 1;
  for (my $s = 0; $s < $days * 86400; ++$s) {
    my $hour = ($s % 86400) / 3600;
    $cloud = 0.3 + 0.7 * rand() if $s % 600 == 0;
    my $sun = ($hour > 6 && $hour < 20) ? sin(($hour - 6) / 14 * 3.14159265) * $cloud : 0;
    my $power = 220 * $sun;
    my $state = $power < 1 ? "OFF" : $hour < 11 ? "BULK" : $hour < 12 ? "ABSORPTION" : "FLOAT";
    my $volts = $state eq "FLOAT" ? 13.80 : $state eq "ABSORPTION" ? 14.40 : 12.4 + 1.8 * $sun;
    printf "\"%s\",\"%s\",%.1f,%.2f,%.1f,%.1f,%.1f,%.1f,0,\"ON\",0.5\n",
      strftime("%a %b %e %H:%M:%S %Y", gmtime($start + $s)), $state, $power / $volts, $volts,
      $power / 35, $power > 0 ? 35.1 : 0.0, $power, 15 + 10 * $sun;
  }' "$days" > "$work/week.csv"
rows=$(($(wc -l < "$work/week.csv") - 1))
size=$(du -m "$work/week.csv" | cut -f1)
echo "== ${days} days of -f rows: $rows rows, $size MB"

times=()
for _ in 1 2 3; do
  t0=$(date +%s.%N)
  "$plot" "$work/week.csv" -o "$work/week.png" > /dev/null
  t1=$(date +%s.%N)
  times+=("$(echo "$t1 - $t0" | bc)")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {
  printf "draw to PNG: runs %d, median %.2f s, min %.2f s, max %.2f s (goal: under 10 s)\n", NR, a[int((NR+1)/2)], a[1], a[NR] }'
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f "peak resident memory: %M KB" "$plot" "$work/week.csv" -o "$work/week.png" > /dev/null
fi
echo "picture: $(stat -c %s "$work/week.png") bytes"
