#!/usr/bin/env bash
# Time and peak memory to draw days of -f rows (one a second: 86,400 a day)
# to PNG with solwatch-plot. The rows are made up here in solwatch's -f
# form, a day curve with passing clouds, in a file a day as the service
# keeps them (SERIAL-YYYY-MM-DD.csv, each with its header), in a temporary
# folder (TMPDIR; a year takes about 2.3 GB) that is removed at the end.
# The script prints the figures and passes or fails nothing.
#   bash bench/plot_week.sh [days, default 7]      # 365: a year
#   SOLWATCH_PLOT=path/to/solwatch-plot bash bench/plot_week.sh   (no build)
set -euo pipefail
cd "$(dirname "$0")/.."
days=${1:-7}
runs=${RUNS:-3}
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
  my ($days, $folder) = @ARGV;
  my $start = 1796601600;  # a Monday, 00:00
  srand(1);
  my $cloud = 1;
  for (my $day = 0; $day < $days; ++$day) {
    my $midnight = $start + $day * 86400;
    open(my $out, ">", strftime("$folder/HQ2042SIM01-%Y-%m-%d.csv", gmtime($midnight))) or die "$!";
    print $out "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err,Load,Iload[A]\n";
    my $date = strftime("%a %b %e", gmtime($midnight));
    my $year = strftime("%Y", gmtime($midnight));
    for (my $s = 0; $s < 86400; ++$s) {
      my $hour = $s / 3600;
      $cloud = 0.3 + 0.7 * rand() if $s % 600 == 0;
      my $sun = ($hour > 6 && $hour < 20) ? sin(($hour - 6) / 14 * 3.14159265) * $cloud : 0;
      my $power = 220 * $sun;
      my $state = $power < 1 ? "OFF" : $hour < 11 ? "BULK" : $hour < 12 ? "ABSORPTION" : "FLOAT";
      my $volts = $state eq "FLOAT" ? 13.80 : $state eq "ABSORPTION" ? 14.40 : 12.4 + 1.8 * $sun;
      printf $out "\"%s %02d:%02d:%02d %s\",\"%s\",%.1f,%.2f,%.1f,%.1f,%.1f,%.1f,0,\"ON\",0.5\n",
        $date, $s / 3600, ($s / 60) % 60, $s % 60, $year, $state, $power / $volts, $volts,
        $power / 35, $power > 0 ? 35.1 : 0.0, $power, 15 + 10 * $sun;
    }
    close($out);
  }' "$days" "$work"
files=("$work"/*.csv)
echo "== ${days} day files of -f rows: $((days * 86400)) rows, $(du -cm "${files[@]}" | tail -1 | cut -f1) MB"

times=()
for _ in $(seq "$runs"); do
  t0=$(date +%s.%N)
  "$plot" "${files[@]}" -o "$work/span.png" > /dev/null
  t1=$(date +%s.%N)
  times+=("$(echo "$t1 - $t0" | bc)")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {
  printf "draw to PNG: runs %d, median %.2f s, min %.2f s, max %.2f s (goal for a year: under 30 s)\n", NR, a[int((NR+1)/2)], a[1], a[NR] }'
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f "peak resident memory: %M KB (goal for a year: under 150 MB); CPU time of that run: %U s user, %S s system" \
    "$plot" "${files[@]}" -o "$work/span.png" 2>&1 > /dev/null
fi
echo "picture: $(stat -c %s "$work/span.png") bytes"
