#!/usr/bin/env bash
# start BUILD: create the build's Wine prefix once and keep one persistent wineserver.
# stop BUILD:  end the wineserver (and with it every Wine process of the prefix).
set -u
action=$1
build=$2
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export LC_ALL=${LC_ALL:-C.UTF-8}
unset DISPLAY WAYLAND_DISPLAY

server_running() { wineserver -k0 2>/dev/null; }

case "$action" in
start)
    mkdir -p "$WINEPREFIX"
    # The lock descriptor is closed for everything started inside, or the server would
    # inherit it and every later runner would wait on it for ever.
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.sldk-ready" ]; then
            wine cmd.exe /c exit 9>&- </dev/null >/dev/null 2>&1
            wineserver -w 9>&- </dev/null >/dev/null 2>&1
            touch "$WINEPREFIX/.sldk-ready"
        fi
        if ! server_running; then
            setsid wineserver -p 9>&- </dev/null >/dev/null 2>&1 &
            for _ in $(seq 1 100); do server_running && break; sleep 0.05; done
            # The first client of a server starts services.exe and its helpers, which keep
            # that client's standard streams for ever: start them here, on /dev/null, not
            # on the pipes of whichever test happens to come first.
            wine cmd.exe /c exit 9>&- </dev/null >/dev/null 2>&1
        fi
    ) 9>"$build/wineprefix.lock"
    ;;
stop)
    [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
    exit 0
    ;;
esac
