#!/usr/bin/env bash
# The service files as an admin meets them: man pages without lint, the
# template unit as systemd reads it, and the bash completion.
#   check_dist.sh SOURCE_DIR UNIT_FILE SOLWATCH_BINARY
set -euo pipefail
source_dir=$1 unit=$2 solwatch=$3
failed=0
fail() { echo "FAIL: $*"; failed=1; }

for page in "$source_dir"/dist/*.1 "$source_dir"/plot/*.1; do
    [ -e "$page" ] || continue
    lint=$(mandoc -Tlint -W warning "$page" 2>&1) || fail "$page: $lint"
    [ -z "$lint" ] || fail "$page: $lint"
done

# systemd-analyze ignores unknown keys with a message and exit code 0, so
# any output counts. The unit runs the built program here.
if systemd-analyze --version > /dev/null 2>&1; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    sed "s|^ExecStart=[^ ]*|ExecStart=$solwatch|" "$unit" > "$work/solwatch@.service"
    verify=$(systemd-analyze verify --man=no "$work/solwatch@ttyUSB0.service" 2>&1) || fail "unit: $verify"
    [ -z "$verify" ] || fail "unit: $verify"
else
    echo "systemd-analyze cannot run here; the unit is not verified"
fi
grep -q "^ExecStart=.*/solwatch -s /dev/%I --reconnect " "$unit" || fail "unit: ExecStart"

# Completion: options, and ports for -s.
completion=$(bash -c '
    source "$1/dist/solwatch.bash-completion"
    COMP_WORDS=(solwatch --rec); COMP_CWORD=1; _solwatch; echo "${COMPREPLY[*]}"
    _solwatch_ports() { printf "%s\n" /dev/serial/by-id/usb-X /dev/ttyUSB0; }
    COMP_WORDS=(solwatch -s ""); COMP_CWORD=2; _solwatch; echo "${COMPREPLY[*]}"
' completion "$source_dir")
[ "$completion" = $'--reconnect\n/dev/serial/by-id/usb-X /dev/ttyUSB0' ] || fail "completion: $completion"

# Every option that --help lists is offered.
offered=$(bash -c 'source "$1/dist/solwatch.bash-completion"; COMP_WORDS=(solwatch -); COMP_CWORD=1; _solwatch
    printf "%s\n" "${COMPREPLY[@]}"' completion "$source_dir")
for option in $("$solwatch" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -qx -- "$option" <<< "$offered" || fail "completion lacks $option"
done

exit "$failed"
