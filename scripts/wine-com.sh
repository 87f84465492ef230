# Wine with COM ports that lead to pseudo-terminals, for running the Windows
# build against solwatch-sim. Sourced:
#
#   source scripts/wine-com.sh
#   wine_prefix BUILD_DIR      before a series of runs (none may be under
#                              way): a prefix in BUILD_DIR/wineprefix (made
#                              if missing), COM1..COM8 mapped and free, a
#                              fresh server of ours running
#   wine_use_prefix BUILD_DIR  the same prefix for one run among others: it
#                              is never set up or restarted here
#   wine_com_take PATH         the number of a free COM port, which leads to
#                              PATH (a pseudo-terminal) from now on
#   wine_com_free N            COMn leads nowhere again and is free
#   wine_loader EXE            the wine loader for EXE (32 or 64 bits)
#
# Wine's mount manager points com1, com2... at /dev/ttyS0, /dev/ttyS1... at
# every start unless the registry says otherwise, and a program that opened
# one of them would open this machine's own serial lines. So COM1..COM8 are
# mapped in the registry (HKLM\Software\Wine\Ports) to links in the build
# folder and the other numbers are switched off, before anything opens a COM
# port; a port's link is pointed at a simulator's terminal only while a run
# uses it, and the registry and the wine server are left alone meanwhile.
# (The mount manager still gives the machine's own lines the one number the
# registry cannot switch off, COM256, which nothing here opens.)
wine_com_count=8

wine_environment() {
  wine_build=$(realpath -m "$1")
  export WINEPREFIX=$wine_build/wineprefix WINEDEBUG=-all WINEARCH=win64
  # No Mono or Gecko installer dialogs: the programs here need neither.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  wine_com_dir=$wine_build/wine-com
  wine_server_log=$wine_build/wineserver.log
}

# A stopped run may have left its port taken, and a server that a program
# started would end between two runs (see wine_server_afresh).
wine_prefix() {
  wine_environment "$1"
  mkdir -p "$wine_com_dir"
  local n
  for n in $(seq "$wine_com_count"); do wine_com_free "$n"; done
  wine_ports_mapped || wine_map_ports
  # The mount manager reads the ports when the server starts afresh.
  wine_server_afresh && wine_ports_await
}

wine_map_ports() {
  wineboot -i > /dev/null 2>&1 || true
  local ports=$wine_build/wine-ports.reg n
  {
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
    for n in $(seq "$wine_com_count"); do printf '"COM%d"="%s"\r\n' "$n" "$wine_com_dir/com$n"; done
    for n in $(seq $((wine_com_count + 1)) 255); do printf '"COM%d"=""\r\n' "$n"; done
  } > "$ports"
  wine regedit /S "$(winepath -w "$ports" 2> /dev/null)" > /dev/null 2>&1
}

# For each run of a series that wine_prefix began: setting the prefix up or
# restarting its server would end the other runs' programs.
wine_use_prefix() {
  wine_environment "$1"
  [ -d "$WINEPREFIX" ] || { wine_prefix "$1"; return; }
  wine_ports_await && wine_server
}

# The mount manager rewrites the port links just after a server's start, so
# the mapping is awaited a while.
wine_ports_await() {
  local tenth
  for tenth in $(seq 50); do
    wine_ports_mapped && return 0
    sleep 0.1
  done
  echo "wine-com: the COM ports are not mapped in $WINEPREFIX (wine_prefix sets them up)" >&2
  return 1
}

# The server is started here rather than by a program: wine's own start of
# a server (by the first program, or by wineboot) keeps it only while some
# program runs, so between two runs it shuts down, and a program that starts
# during that shutdown dies without a word (status 1) or finds no server.
# Ours stays for five minutes after its last program. It writes to a log of
# its own: it writes its whole state out when a terminal that a program
# holds hangs up, which would otherwise land in that program's standard
# error. wineboot starts the helper processes (services, devices) with a
# new server, so that no program's run starts them with its own output
# streams. A server that is running already is kept (status 2).
wine_server() {
  wineserver -p300 2>> "$wine_server_log" || return 0
  wineboot >> "$wine_server_log" 2>&1 || true
}

# Ends whatever server runs (one that a program started, or one that is
# shutting down) and starts ours; only while no program runs.
wine_server_afresh() {
  local attempt
  for attempt in 1 2 3 4 5; do
    wineserver -k > /dev/null 2>&1 || true
    wineserver -w 2> /dev/null || true
    if wineserver -p300 2>> "$wine_server_log"; then
      wineboot >> "$wine_server_log" 2>&1 || true
      return 0
    fi
  done
  echo "wine-com: another wine server keeps $WINEPREFIX" >&2
  return 1
}

# Whether each COM port that runs use is one of the build folder's links.
wine_ports_mapped() {
  local n
  for n in $(seq "$wine_com_count"); do
    [ "$(readlink "$WINEPREFIX/dosdevices/com$n" 2> /dev/null)" = "$wine_com_dir/com$n" ] || return 1
  done
}

# A port is taken by making its lock folder, which only one run can.
wine_com_take() {
  case "$1" in
    /dev/ttyS*) echo "wine-com: not a simulator's terminal: $1" >&2; return 1 ;;
  esac
  wine_ports_mapped || { echo "wine-com: the COM ports are not mapped" >&2; return 1; }
  local n
  for n in $(seq "$wine_com_count"); do
    if mkdir "$wine_com_dir/com$n.taken" 2> /dev/null; then
      ln -sfn "$(realpath -m "$1")" "$wine_com_dir/com$n"
      echo "$n"
      return 0
    fi
  done
  echo "wine-com: all $wine_com_count COM ports are in use" >&2
  return 1
}

wine_com_free() {
  ln -sfn "$wine_com_dir/none" "$wine_com_dir/com$1"
  rmdir "$wine_com_dir/com$1.taken" 2> /dev/null || true
}

# The loader itself rather than the wine script, which starts a 64-bit
# program through a helper: so the program keeps the loader's process id,
# and SIGINT reaches it, which wine turns into a console Ctrl-C.
wine_loader() {
  case "$(file -b "$1")" in
    PE32+*) echo /usr/lib/wine/wine64 ;;
    *) echo /usr/lib/wine/wine ;;
  esac
}
