#!/usr/bin/env bash
# Runs the Windows build under wine as if it were the Linux program: a port
# given as a path (-s PATH, --serial PATH), such as a simulator's terminal,
# becomes a free COM port that leads there. Standard output and error lose
# the CR of their CR LF line ends; the exit code is the program's. SIGINT and
# SIGTERM reach the program by its process group, as a terminal's Ctrl-C and
# timeout send them (wine turns SIGINT into a console Ctrl-C); this script
# ignores them and waits for the program's end. Handing a signal on as well
# would give the program a second one, which wine's loader sometimes died of.
#
#   WINE_SOLWATCH_EXE=path/solwatch.exe WINE_SOLWATCH_BUILD=BUILD_DIR \
#     scripts/wine-solwatch.sh -s /tmp/charger -g
#
# BUILD_DIR holds the wine prefix (scripts/wine-com.sh), which this script
# sets up when it is not there yet; runs side by side need it set up first.
set -uo pipefail
here=$(dirname "$0")
source "$here/wine-com.sh"
exe=${WINE_SOLWATCH_EXE:?the path of solwatch.exe}
wine_use_prefix "${WINE_SOLWATCH_BUILD:?the build folder with the wine prefix}" || exit 1

args=() port=""
while [ $# -gt 0 ]; do
  case "$1" in
    -s | --serial)
      [ $# -ge 2 ] || { args+=("$1"); shift; continue; }
      if [[ "$2" == */* ]]; then
        port=$(wine_com_take "$2") || exit 1
        args+=("$1" "COM$port")
      else
        args+=("$1" "$2")
      fi
      shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done

# The filters outlive a stop: a signal to the whole process group (as
# timeout sends it) leaves them to pass on the program's last lines.
exec 3> >(trap '' INT TERM; exec sed -u 's/\r$//')
filters=($!)
exec 4> >(trap '' INT TERM; exec sed -u 's/\r$//' >&2)
filters+=($!)
# Ignored rather than trapped: a trapped signal would end the wait early,
# and one that came between two waits was taken for the program's status.
# (Wine's loader sets its own handlers.)
trap '' INT TERM
"$(wine_loader "$exe")" "$exe" "${args[@]}" >&3 2>&4 &
child=$!
wait "$child"
code=$?
[ -z "$port" ] || wine_com_free "$port"
exec 3>&- 4>&-
# The filters pass each line on as it comes; they end once nothing holds
# their pipes, which a wine helper process that the program started may
# still do (it ends with the wine server): their last lines are awaited
# for a while, not their end.
for _ in $(seq 20); do
  kill -0 "${filters[@]}" 2> /dev/null || break
  sleep 0.1
done
exit "$code"
