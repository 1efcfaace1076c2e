#!/usr/bin/env bash
# The demo: builds everything, then
#  1. packs a service launcher for the small demo application of demo/app.toml, lays out the
#     stand-in Java runtime beside it and runs it with "/run hello world" under Wine;
#  2. packs an installer from demo/installer.toml with a payload and the stand-in runtime as
#     its included runtime archive (sldkpack build --runtime) and runs it quietly ("-q").
# For each it prints the launcher's diagnostic log lines that show what it did (runtime search,
# VM options and main for the service; integrity check, extraction, untar, VM start and the
# natives for the installer), then the trace of what the Java side received.
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
    scripts/install-packages.sh --if-missing
    echo "== building (native sldkpack, the Windows programs and tests)"
    cmake --preset native -B "$native_build" >/dev/null
    cmake --build "$native_build" --target sldkpack -j2
    cmake --preset windows -B "$windows_build" >/dev/null
    cmake --build "$windows_build" -j2
fi

sldkpack=$native_build/bin/sldkpack
windows_bin=$windows_build/bin
for needed in "$sldkpack" "$windows_bin/servicelauncher.exe" "$windows_bin/setuplauncher.exe" "$windows_bin/java.exe" "$windows_bin/javaw.exe" \
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

# Wine sets TMP and TEMP from the prefix, so a launcher's log is in the prefix's temporary
# folder: the newest one written after the marker file, as UTF-8 without CRs.
print_log() {
    local marker=$1 pattern=$2 log
    log=$(find "$windows_build/wineprefix/drive_c/users" -maxdepth 3 -name 'sldk_nlog_*.log' -newer "$marker" \
        2>/dev/null | head -1 || true)
    if [ -z "$log" ]; then
        echo "== no launcher log found in the Wine prefix's temporary folder"
        return
    fi
    echo "== key lines of the launcher's log ($(basename "$log"))"
    # The log is UTF-16 or UTF-8 with a byte order mark, with CRLF line ends.
    if head -c 2 "$log" | od -An -tx1 | grep -q 'ff fe'; then
        iconv -f UTF-16 -t UTF-8 "$log"
    else
        cat "$log"
    fi | tr -d '\r' | grep -E "$pattern" || true
}

# The registered natives (one trace line each) are summed up per class.
print_trace() {
    echo "== what the Java side received (${1#"$root"/})"
    if [ -f "$1" ]; then
        awk '/^natives: / { if (!($2 in count)) order[n++] = $2; count[$2]++; next }
             { if (n) { for (i = 0; i < n; i++) printf "natives: %s: %d registered\n", order[i], count[order[i]]; n = 0 }
               print }' "$1"
    else
        echo "(no trace: the stand-in VM was not reached)"
    fi
}

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
print_log "$demo/started" \
    'LoadDLL|location|JVM found|Loading of JVM|vmoption|JVM created|main class|param|calling main|main returned|dest JVM|launch done|ERROR'
print_trace "$demo/trace.txt"

echo
echo "== the installer: the stand-in runtime in build/demo/runtime, laid out as above"
mkdir -p "$demo/runtime/bin/server" "$demo/payload" "$demo/installer"
cp "$windows_bin/java.exe" "$windows_bin/javaw.exe" "$demo/runtime/bin/"
cp "$windows_bin/jvm.dll" "$demo/runtime/bin/server/"
printf 'java version "1.8.0_181"\r\n' >"$demo/runtime/bin/java-version.txt"
# The payload: a jar-like file (an empty zip archive: its end record alone).
printf 'PK\005\006\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' >"$demo/payload/app.jar"

echo "== packing build/demo/installer/DemoSetup.exe from demo/installer.toml with --runtime build/demo/runtime"
"$sldkpack" build --stub "$windows_bin/setuplauncher.exe" --config "$root/demo/installer.toml" \
    --runtime "$demo/runtime" --out "$demo/installer/DemoSetup.exe"
echo "== sldkpack inspect (excerpt), then sldkpack verify"
"$sldkpack" inspect "$demo/installer/DemoSetup.exe" | grep -E '^(integrity-check|crc|config (151|2002|2003)|file |runtime-archive)'
"$sldkpack" verify "$demo/installer/DemoSetup.exe"

echo "== running: DemoSetup.exe -q hello installer"
touch "$demo/started-installer"
set +e
(
    cd "$demo/installer"
    SLDK_BUILD_DIR=$windows_build SEALDECK_LOG=yes SLDK_TRACE=$(windows_path "$demo/installer-trace.txt") \
        "$root/cmake/wine-run.sh" DemoSetup.exe -q hello installer
)
installer_status=$?
set -e
echo "== exit code: $installer_status"
print_log "$demo/started-installer" \
    'Quiet installer|verifying integrity|checksums|extracting files|^\[[0-9:]+\] extracting .*\(size: |JRE included|extracting JRE|untaring JRE|JRE dir|Loading of JVM|Creating JVM|JVM created|helper dll|calling main|main returned|launch done|ERROR'
print_trace "$demo/installer-trace.txt"

[ "$status" -ne 0 ] && exit "$status"
exit $installer_status
