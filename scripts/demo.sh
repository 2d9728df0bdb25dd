#!/usr/bin/env bash
# Installs what is needed, builds, and shows a staged update in a throw-away
# sandbox: a private registry and temporary folder, an installed "program file"
# (a small script), a downloaded package staged in the temporary folder, and a
# running product process. Then `build/novalink /U <pid>` waits for the product
# to end, checks the package against its completion record, puts it in place,
# cleans up and starts the new program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target novalink novalink-reg

sandbox=$(mktemp -d "${TMPDIR:-/tmp}/novalink-demo.XXXXXX")
product=
cleanup() {
    [ -n "$product" ] && kill "$product" 2>/dev/null || true
    rm -rf "$sandbox"
}
trap cleanup EXIT

export NOVALINK_REGISTRY=$sandbox/registry
export TMPDIR=$sandbox/tmp
mkdir -p "$NOVALINK_REGISTRY" "$TMPDIR" "$sandbox/Brightloom"
reg=build/novalink-reg
program=$sandbox/Brightloom/brightloom
marker=$sandbox/new-version-started

step() { printf '\n== %s\n' "$*"; }

step "The installed product: $program"
cat >"$program" <<'EOF'
#!/bin/sh
echo "Brightloom 1.0"
EOF
chmod 755 "$program"
sed 's/^/    /' "$program"
"$reg" add 'HKLM\Software\Brightloom' /v Path /t REG_SZ /d "$program" /f >/dev/null
"$reg" add 'HKCU\Software\Brightloom' /v Update /t REG_DWORD /d 1 /f >/dev/null
"$reg" query 'HKLM\Software\Brightloom'
"$reg" query 'HKCU\Software\Brightloom'

step "A downloaded package waits in $TMPDIR/BLM_UPDATE"
mkdir "$TMPDIR/BLM_UPDATE"
cat >"$TMPDIR/BLM_UPDATE/BLMNL.PTX" <<EOF
#!/bin/sh
echo "Brightloom 2.0 started at \$(date +%T) as process \$\$" > '$marker'
EOF
cp "$TMPDIR/BLM_UPDATE/BLMNL.PTX" "$sandbox/package.copy"
# The download finished whole: the completion record holds its length and digest.
size=$(stat -c %s "$TMPDIR/BLM_UPDATE/BLMNL.PTX")
digest=$(sha256sum "$TMPDIR/BLM_UPDATE/BLMNL.PTX" | cut -d' ' -f1)
printf '[INFO]\r\nVER=2.0\r\nSize=%s\r\nComplete=%s\r\nSHA256=%s\r\n' "$size" "$size" "$digest" \
    >"$TMPDIR/BLM_UPDATE/BLMNL.INI"
ls -l "$TMPDIR/BLM_UPDATE" | sed 1d | sed 's/^/    /'
sed 's/^/    /' "$TMPDIR/BLM_UPDATE/BLMNL.INI" | tr -d '\r'

step "The product is running (it exits in 3 seconds)"
sleep 3 &
product=$!
echo "    product process: $product"

step "build/novalink /U $product"
TIMEFORMAT="    novalink ended after %R s, using %U s user and %S s system processor time"
status=0
time build/novalink /U "$product" || status=$?
product=
echo "    exit code $status"
if [ "$status" -ne 0 ]; then
    echo "    the staged update did not go through"; exit 1
fi

step "The program file is now the package"
ls -l "$program" | sed 's/^/    /'
sed 's/^/    /' "$program"
if ! cmp -s "$program" "$sandbox/package.copy"; then
    echo "    the program file is not the package"; exit 1
fi
if [ -e "$TMPDIR/BLM_UPDATE" ]; then
    echo "    the staging folder is still there:"; ls -la "$TMPDIR/BLM_UPDATE"
    exit 1
fi
echo "    the staging folder has been removed"
"$reg" query 'HKCU\Software\Brightloom' /v Update

step "The new program was started"
for _ in $(seq 50); do [ -s "$marker" ] && break; sleep 0.1; done
if [ -s "$marker" ]; then
    sed 's/^/    /' "$marker"
else
    echo "    the new program did not start"; exit 1
fi
echo
echo "Staged update demo finished."
