#!/usr/bin/env bash
# The package's maintainer scripts as dpkg runs them, with systemd running
# and without it: each systemd call they make is recorded by stand-ins for
# systemctl and deb-systemd-invoke.
#   check_maintainer_scripts.sh SCRIPT_DIR
set -euo pipefail
script_dir=$1
source "$(dirname "$0")/common.sh"

mkdir -p "$work/bin" "$work/run-systemd"
for tool in systemctl deb-systemd-invoke; do
    printf '#!/bin/sh\necho "%s $*" >> "%s/calls"\n' "$tool" "$work" > "$work/bin/$tool"
    chmod +x "$work/bin/$tool"
done

# Runs SCRIPT ARGS... and prints the systemd calls it made; the script's
# test for a running systemd looks at RUN_DIR instead of /run/systemd/system.
calls() {
    local run_dir=$1 script=$2
    shift 2
    sed "s|/run/systemd/system|$run_dir|g" "$script_dir/$script" > "$work/script"
    rm -f "$work/calls"
    PATH="$work/bin:$PATH" sh "$work/script" "$@" || echo "exit $?"
    cat "$work/calls" 2> /dev/null || true
}

reload="systemctl --system daemon-reload"
running="$work/run-systemd"
while IFS='|' read -r legend run_dir script args expected; do
    actual=$(calls "$run_dir" "$script" $args)
    [ "$actual" = "$(printf '%b' "$expected")" ] || fail "$legend: got '$actual'"
done <<END
first install|$running|postinst|configure|$reload
upgrade restarts running instances|$running|postinst|configure 1.9-1|$reload\ndeb-systemd-invoke try-restart solwatch@*.service
removal stops the instances|$running|prerm|remove|deb-systemd-invoke stop solwatch@*.service
upgrade leaves them to postinst|$running|prerm|upgrade 1.11-1|
removal reloads|$running|postrm|remove|$reload
purge reloads and keeps the rows|$running|postrm|purge|$reload
no systemd: install|$work/none|postinst|configure|
no systemd: removal|$work/none|prerm|remove|
no systemd: purge|$work/none|postrm|purge|
END

# A purge removes the instances' enable links, and no other unit's.
wants="$work/root/etc/systemd/system/multi-user.target.wants"
mkdir -p "$wants"
ln -s /usr/lib/systemd/system/solwatch@.service "$wants/solwatch@ttyUSB0.service"
ln -s /usr/lib/systemd/system/other.service "$wants/other.service"
DPKG_ROOT="$work/root" sh "$script_dir/postrm" purge
[ ! -L "$wants/solwatch@ttyUSB0.service" ] || fail "purge left an instance's enable link"
[ -L "$wants/other.service" ] || fail "purge removed another unit's link"

# A purge leaves the recorded rows alone.
grep -n "/var/lib" "$script_dir"/postinst "$script_dir"/prerm "$script_dir"/postrm | grep -v "^[^:]*:[0-9]*:#" &&
    fail "a maintainer script touches /var/lib"
for script in postinst prerm postrm; do
    [ -x "$script_dir/$script" ] || fail "$script is not executable"
done
exit "$failed"
