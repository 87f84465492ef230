# Wine with COM ports that lead to pseudo-terminals, for running the Windows
# build against solwatch-sim. Sourced:
#
#   source scripts/wine-com.sh
#   wine_prefix BUILD_DIR      a prefix in BUILD_DIR/wineprefix, COM1..COM8 mapped
#   wine_com_link N PATH       COMn leads to PATH (a pseudo-terminal) from now on
#   wine_com_free N            COMn leads nowhere again
#
# Wine's mount manager points com1, com2... at /dev/ttyS0, /dev/ttyS1... at
# every start unless the registry says otherwise, and a program that opened
# one of them would open this machine's own serial lines. So every port is
# mapped in the registry (HKLM\Software\Wine\Ports) to a link in the build
# folder, before anything opens a COM port, and a port's link is pointed at a
# simulator's terminal only when a run needs it: the registry, and with it
# the wine server, are left alone while runs go on.
wine_com_count=8

wine_prefix() {
  local build
  build=$(realpath -m "$1")
  export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEARCH=win64
  # No Mono or Gecko installer dialogs: the programs here need neither.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  wine_com_dir=$build/wine-com
  mkdir -p "$wine_com_dir"
  local n
  for n in $(seq "$wine_com_count"); do
    [ -L "$wine_com_dir/com$n" ] || ln -sfn /dev/null "$wine_com_dir/com$n"
  done
  if ! wine_ports_mapped; then
    wineboot -i > /dev/null 2>&1 || true
    for n in $(seq "$wine_com_count"); do
      wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /d "$wine_com_dir/com$n" /f > /dev/null 2>&1
    done
    # The mount manager reads the ports when the server starts afresh.
    wineserver -k 2> /dev/null || true
    wineserver -w 2> /dev/null || true
    wineboot > /dev/null 2>&1 || true
    wine_ports_mapped || { echo "wine-com: the COM ports are not mapped in $WINEPREFIX" >&2; return 1; }
  fi
}

# Whether every COM device of the prefix is one of the build folder's links.
wine_ports_mapped() {
  local n
  for n in $(seq "$wine_com_count"); do
    [ "$(readlink "$WINEPREFIX/dosdevices/com$n" 2> /dev/null)" = "$wine_com_dir/com$n" ] || return 1
  done
}

wine_com_link() {
  case "$2" in
    /dev/ttyS*) echo "wine-com: not a simulator's terminal: $2" >&2; return 1 ;;
  esac
  wine_ports_mapped || { echo "wine-com: the COM ports are not mapped" >&2; return 1; }
  ln -sfn "$2" "$wine_com_dir/com$1"
}

wine_com_free() { ln -sfn /dev/null "$wine_com_dir/com$1"; }
