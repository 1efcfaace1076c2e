#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest (the cross build's emulator).
#
# - a private prefix per build directory, created once under a lock;
# - one persistent wineserver for the whole run, started detached with its standard
#   streams on /dev/null, so Wine's helpers never hold CTest's output pipe open;
# - no display unless the test asks for one (SLDK_DISPLAY=1 takes the Xvfb fixture's);
# - a UTF-8 locale, so Wine can open non-ASCII Unix paths.
set -u

here=$(cd "$(dirname "$0")" && pwd)
build=${SLDK_BUILD_DIR:-$(pwd)}
# CTest runs tests from their build folder; the prefix belongs to the build tree's root.
while [ ! -f "$build/CMakeCache.txt" ] && [ "$build" != "/" ]; do build=$(dirname "$build"); done
[ -f "$build/CMakeCache.txt" ] || { echo "wine-run: no build directory above $(pwd)" >&2; exit 125; }

export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
export LC_ALL=${SLDK_LC_ALL:-C.UTF-8}
unset LANG LANGUAGE
if [ "${SLDK_DISPLAY:-0}" = "1" ] && [ -f "$build/xvfb.display" ]; then
    export DISPLAY=":$(cat "$build/xvfb.display")"
else
    unset DISPLAY WAYLAND_DISPLAY
fi

"$here/wine-server.sh" start "$build" || exit 125
exec wine "$@"
