#!/usr/bin/env bash
# The Debian package as a packager checks it: no lintian error or warning
# and Debian's hardening in its programs, every file under /usr but the
# options file, which is a conffile, the maintainer scripts, the exposure
# rating of the unit it installs, the page's chart library as a dependency
# and the monitoring examples.
#   check_package.sh DEB
set -euo pipefail
deb=$1
source "$(dirname "$0")/common.sh"

lintian --fail-on error,warning "$deb" || fail "lintian: $deb"
# lintian tells of missing hardening only as information.
hardening=$(lintian --display-info --tags \
    hardening-no-bindnow,hardening-no-fortify-functions,hardening-no-relro,hardening-no-pie "$deb" 2> /dev/null)
[ -z "$hardening" ] || fail "hardening: $hardening"

while read -r path; do
    case $path in
        ./ | ./etc/ | ./etc/default/ | ./etc/default/solwatch | ./usr/ | ./usr/bin/* | ./usr/lib/* | ./usr/share/*) ;;
        *) fail "packed outside /usr: $path" ;;
    esac
done < <(dpkg-deb --contents "$deb" | awk '{print $6}')

dpkg-deb --control "$deb" "$work/control"
grep -qE '^Depends:.*\blibjs-dygraphs\b' "$work/control/control" || fail "Depends lacks libjs-dygraphs"
[ "$(cat "$work/control/conffiles" 2> /dev/null)" = /etc/default/solwatch ] || fail "conffiles"
for script in postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "no $script"
done

dpkg-deb --extract "$deb" "$work/root"
unit="$work/root/usr/lib/systemd/system/solwatch@.service"
grep -q "^ExecStart=/usr/bin/solwatch " "$unit" || fail "unit: $(grep ExecStart= "$unit")"
cp "$unit" "$work"
examples="$work/root/usr/share/doc/solwatch/examples"
for example in prometheus/solwatch.yml prometheus/solwatch-rules.yml prometheus/solwatch-agent.yml \
    grafana/solwatch.json mosquitto/site-bridge.conf; do
    [ -f "$examples/$example" ] || fail "no example $example"
done
security=$(systemd-analyze security --offline=true --threshold=20 --no-pager "$work/solwatch@ttyUSB0.service" 2>&1) ||
    fail "unit: $(tail -n 1 <<< "$security")"
exit "$failed"
