#!/usr/bin/env bash
# start BUILD: one Xvfb for the dialog tests, on a display number the server picks itself
#              (-displayfd), detached from CTest's pipes; writes BUILD/xvfb.display and
#              BUILD/xvfb.pid.
# stop BUILD:  ends that Xvfb and removes both files.
set -u
action=$1
build=$2
display_file="$build/xvfb.display"
pid_file="$build/xvfb.pid"

is_our_xvfb() { [ -n "${1:-}" ] && [ "$(cat "/proc/$1/comm" 2>/dev/null)" = "Xvfb" ]; }

stop() {
    if [ -f "$pid_file" ]; then
        pid=$(cat "$pid_file")
        if is_our_xvfb "$pid"; then
            kill "$pid" 2>/dev/null
            for _ in $(seq 1 50); do is_our_xvfb "$pid" || break; sleep 0.05; done
            is_our_xvfb "$pid" && kill -9 "$pid" 2>/dev/null
        fi
    fi
    rm -f "$display_file" "$pid_file"
}

case "$action" in
start)
    command -v Xvfb >/dev/null || { echo "xvfb: Xvfb is not installed" >&2; exit 1; }
    # A server left over from an interrupted run is replaced.
    stop
    tmp="$display_file.tmp.$$"
    rm -f "$tmp"
    # setsid without -f keeps the pid (the child is not a group leader), so $! is Xvfb's own.
    setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$tmp" </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 200); do
        if [ -s "$tmp" ] && grep -q '^[0-9][0-9]*$' "$tmp"; then
            tr -d '\n' <"$tmp" >"$display_file"
            rm -f "$tmp"
            echo "$pid" >"$pid_file"
            echo "Xvfb $pid on :$(cat "$display_file")"
            exit 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill "$pid" 2>/dev/null
    rm -f "$tmp"
    echo "xvfb: the server did not report a display" >&2
    exit 1
    ;;
stop)
    stop
    exit 0
    ;;
*)
    echo "usage: xvfb.sh start|stop BUILD" >&2
    exit 2
    ;;
esac
