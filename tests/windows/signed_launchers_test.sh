#!/usr/bin/env bash
# Signed launchers: a service launcher and an installer packed by sldkpack are signed with a
# throwaway certificate, the signatures verify, sldkpack still reads and verifies them, and
# under Wine each runs exactly as it did unsigned (the installer checks its own CRC first).
# A signed stub is refused. Exit 77 (skipped) without the native sldkpack or the signing
# tools.
#   signed_launchers_test.sh SLDKPACK WINDOWS_BIN WORK_DIR
set -u
sldkpack=$1 bin=$2 work=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in "$sldkpack" "$(command -v openssl)" "$(command -v osslsigncode)"; do
    [ -x "$tool" ] || { echo "skipped: ${tool:-a signing tool} is missing"; exit 77; }
done
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

rm -rf "$work" && mkdir -p "$work/service/jre/bin/server" "$work/runtime/bin/server" "$work/installer"
cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=launcher test signer" \
    >/dev/null 2>&1 || { fail "no throwaway certificate"; exit 1; }

for runtime in service/jre runtime; do
    cp "$bin/java.exe" "$bin/javaw.exe" "$runtime/bin/" && cp "$bin/jvm.dll" "$runtime/bin/server/"
    printf 'java version "1.8.0_181"\r\n' >"$runtime/bin/java-version.txt"
done
printf 'PK\005\006\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' >app.jar
cat >service.toml <<'TOML'
[config]
101 = "SignedService"
107 = "4"
2001 = "S"
122 = "com.example.Main"
124 = "fixed 'two words'"
126 = "1.8"
128 = "Ajre;"
TOML
cat >installer.toml <<TOML
integrity-check = true
[config]
101 = "SignedSetup"
107 = "5"
2001 = "S"
122 = "com.example.Setup"
126 = "1.8"
[[file]]
name = "app.jar"
path = "$work/app.jar"
TOML
"$sldkpack" build --stub "$bin/servicelauncher.exe" --config service.toml --out service/App.exe >/dev/null &&
    "$sldkpack" build --stub "$bin/setuplauncher.exe" --config installer.toml --runtime runtime \
        --out installer/Setup.exe >/dev/null || { fail "packing"; exit 1; }

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# Runs a launcher and keeps its exit code and the Java side's trace, without what changes
# from run to run (the creation time, the random extraction directory).
run() {
    local dir=$1 name=$2 label=$3
    shift 3
    rm -f "$work/trace.txt"
    (cd "$dir" && SLDK_BUILD_DIR=$(dirname "$bin") SLDK_TRACE=$(windows_path "$work/trace.txt") \
        "$root/cmake/wine-run.sh" "$name" "$@" >/dev/null 2>&1)
    echo "exit $?" >"$work/$label.result"
    grep -v '^create-time:' "$work/trace.txt" 2>/dev/null | sed -E 's/vxn[0-9a-f]+\.tmp_dir[0-9]+/EXTRACTED/g' \
        >>"$work/$label.result"
}

check_signed() {
    local dir=$1 name=$2
    shift 2
    run "$dir" "$name" unsigned "$@"
    grep -q '^exit 0$' "unsigned.result" && grep -q '^main-class:' unsigned.result ||
        fail "$name did not reach main unsigned: $(head -1 unsigned.result)"
    osslsigncode sign -certs cert.pem -key key.pem -n "launcher test" -in "$dir/$name" -out "$dir/signed.exe" \
        >/dev/null || { fail "signing $name"; return; }
    mv "$dir/signed.exe" "$dir/$name"
    osslsigncode verify -CAfile cert.pem -in "$dir/$name" >verify.txt 2>&1 || fail "$name: $(tail -3 verify.txt)"
    "$sldkpack" verify "$dir/$name" >/dev/null || fail "sldkpack verify of the signed $name"
    "$sldkpack" inspect "$dir/$name" >inspect.txt || fail "sldkpack inspect of the signed $name"
    grep -q '^signature: [1-9][0-9]* bytes$' inspect.txt || fail "inspect names no signature for $name"
    run "$dir" "$name" signed "$@"
    diff unsigned.result signed.result >/dev/null || fail "$name runs differently once signed: $(diff unsigned.result signed.result | head -5)"
}

check_signed service App.exe /run one two
check_signed installer Setup.exe -q hello

rm -f refused.exe
"$sldkpack" build --stub service/App.exe --config service.toml --out refused.exe >/dev/null 2>refused.txt
status=$?
[ "$status" -eq 2 ] || fail "a signed stub gave exit code $status"
grep -q 'sign the launcher after packing, not the stub' refused.txt || fail "refusal text: $(cat refused.txt)"
[ ! -e refused.exe ] || fail "a launcher was written from a signed stub"

[ "$failures" -eq 0 ] && echo "signed launchers: all checks passed"
exit $((failures != 0))
