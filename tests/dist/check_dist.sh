#!/usr/bin/env bash
# The service files as an admin meets them: man pages without lint, the
# template unit as systemd reads it (its exposure rating, the command line
# that its environment files give), and the bash completion.
#   check_dist.sh SOURCE_DIR UNIT_FILE SOLWATCH_BINARY
set -euo pipefail
source_dir=$1 unit=$2 solwatch=$3
source "$(dirname "$0")/common.sh"

for page in "$source_dir"/dist/*.1 "$source_dir"/plot/*.1; do
    [ -e "$page" ] || continue
    lint=$(mandoc -Tlint -W warning "$page" 2>&1) || fail "$page: $lint"
    [ -z "$lint" ] || fail "$page: $lint"
done

# systemd-analyze ignores unknown keys with a message and exit code 0, so
# any output counts. The unit runs the built program here.
if systemd-analyze --version > /dev/null 2>&1; then
    sed "s|^ExecStart=[^ ]*|ExecStart=$solwatch|" "$unit" > "$work/solwatch@.service"
    verify=$(systemd-analyze verify --man=no "$work/solwatch@ttyUSB0.service" 2>&1) || fail "unit: $verify"
    [ -z "$verify" ] || fail "unit: $verify"
    # The exposure limit is ten times the rating that the report closes with.
    security=$(systemd-analyze security --offline=true --threshold=20 --no-pager \
        "$work/solwatch@ttyUSB0.service" 2>&1) || fail "unit: $(tail -n 1 <<< "$security")"
else
    echo "systemd-analyze cannot run here; the unit is not verified"
fi
grep -q "^ExecStart=.*/solwatch -s /dev/%I --reconnect " "$unit" || fail "unit: ExecStart"

# The command line of instance ttyUSB0 as systemd makes it from the unit's
# Environment= and EnvironmentFile= lines (files read from ETC_DIR instead
# of /etc): an unquoted $VAR becomes its words, ${VAR} one word.
command_line() {
    env -i unit="$unit" etc="$1" bash -c '
        set -a
        while IFS= read -r line; do
            case $line in
                Environment=*) eval "${line#Environment=}" ;;
                EnvironmentFile=*)
                    file=${line#EnvironmentFile=}; file=${file#-}; file=$etc${file#/etc}
                    file=${file//%i/ttyUSB0}
                    if [ -e "$file" ]; then source "$file"; fi ;;
                ExecStart=*) exec_start=${line#ExecStart=} ;;
            esac
        done < "$unit"
        words=()
        for word in $exec_start; do
            if [[ $word =~ ^\$([A-Z_]+)$ ]]; then words+=(${!BASH_REMATCH[1]}); else words+=("$word"); fi
        done
        echo "${words[*]}"'
}
etc=$work/etc
mkdir -p "$etc/default"
[[ $(command_line "$etc") == *"%%s.csv --rotate daily --keep 730" ]] || fail "unit: options without files: $(command_line "$etc")"
echo 'SOLWATCH_OPTIONS="-f --mqtt mqtt://broker.lan"' > "$etc/default/solwatch"
echo 'SOLWATCH_INSTANCE_OPTIONS="--silence-timeout 30"' > "$etc/default/solwatch-ttyUSB0"
[[ $(command_line "$etc") == *"%%s.csv --rotate daily --keep 730 -f --mqtt mqtt://broker.lan --silence-timeout 30" ]] ||
    fail "unit: the instance's options do not add to the shared ones: $(command_line "$etc")"

# /etc/default/solwatch is installed as it is: every setting commented out.
grep -vqE '^(#|$)' "$source_dir/dist/solwatch.default" && fail "solwatch.default sets something"

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
