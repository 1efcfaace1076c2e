#!/usr/bin/env bash
# The demo: builds everything, packs a service launcher for the small demo application of
# demo/app.toml, lays out the stand-in Java runtime beside it and runs it with
# "/run hello world" under Wine. It prints the launcher's diagnostic log lines that show the
# runtime search, the VM options and the call of main, then the trace of what the Java side
# received.
#
# The stand-in runtime is not a Java VM: its jvm.dll records what the launcher hands over
# (options, properties, main's arguments) and returns. See README.md for a real JDK.
#
#   scripts/demo.sh            build (native sldkpack + the Windows tree), then run
#   scripts/demo.sh --no-build run with the existing build trees
# The build trees are those of the presets (build/native, build/windows); SLDK_NATIVE_BUILD
# and SLDK_WINDOWS_BUILD name others.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
native_build=${SLDK_NATIVE_BUILD:-$root/build/native}
windows_build=${SLDK_WINDOWS_BUILD:-$root/build/windows}

if [ "${1:-}" != "--no-build" ]; then
    echo "== building (native sldkpack, the Windows programs and tests)"
    cmake --preset native -B "$native_build" >/dev/null
    cmake --build "$native_build" --target sldkpack -j2
    cmake --preset windows -B "$windows_build" >/dev/null
    cmake --build "$windows_build" -j2
fi

sldkpack=$native_build/bin/sldkpack
windows_bin=$windows_build/bin
for needed in "$sldkpack" "$windows_bin/servicelauncher.exe" "$windows_bin/java.exe" "$windows_bin/javaw.exe" \
    "$windows_bin/jvm.dll"; do
    [ -f "$needed" ] || { echo "demo: $needed is missing; run scripts/demo.sh without --no-build" >&2; exit 1; }
done

demo=$root/build/demo
rm -rf "$demo"
mkdir -p "$demo/app/jre/bin/server"

echo "== packing build/demo/app/DemoService.exe from demo/app.toml"
"$sldkpack" build --stub "$windows_bin/servicelauncher.exe" --config "$root/demo/app.toml" \
    --out "$demo/app/DemoService.exe"

echo "== laying out the stand-in runtime in build/demo/app/jre"
cp "$windows_bin/java.exe" "$windows_bin/javaw.exe" "$demo/app/jre/bin/"
cp "$windows_bin/jvm.dll" "$demo/app/jre/bin/server/"
# What the stand-in java.exe answers to "java -version" (the launcher checks the version).
printf 'java version "1.8.0_181"\r\n' >"$demo/app/jre/bin/java-version.txt"

# Wine sees the Unix file system as drive Z:.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

echo "== running: DemoService.exe /run hello world"
touch "$demo/started"
set +e
(
    cd "$demo/app"
    SLDK_BUILD_DIR=$windows_build SEALDECK_LOG=yes SLDK_TRACE=$(windows_path "$demo/trace.txt") \
        "$root/cmake/wine-run.sh" DemoService.exe /run hello world
)
status=$?
set -e
echo "== exit code: $status"

# Wine sets TMP and TEMP from the prefix, so the log is in the prefix's temporary folder.
log=$(find "$windows_build/wineprefix/drive_c/users" -maxdepth 3 -name 'sldk_nlog_*.log' -newer "$demo/started" \
    2>/dev/null | head -1 || true)
if [ -n "$log" ]; then
    echo "== key lines of the launcher's log ($(basename "$log"))"
    # The log is UTF-16 or UTF-8 with a byte order mark, with CRLF line ends.
    if head -c 2 "$log" | od -An -tx1 | grep -q 'ff fe'; then
        iconv -f UTF-16 -t UTF-8 "$log"
    else
        cat "$log"
    fi | tr -d '\r' | grep -E 'LoadDLL|location|JVM found|Loading of JVM|vmoption|JVM created|main class|param|calling main|main returned|dest JVM|launch done|ERROR' || true
else
    echo "== no launcher log found in the Wine prefix's temporary folder"
fi

echo "== what the Java side received (build/demo/trace.txt)"
if [ -f "$demo/trace.txt" ]; then
    cat "$demo/trace.txt"
else
    echo "(no trace: the stand-in VM was not reached)"
fi
exit $status
