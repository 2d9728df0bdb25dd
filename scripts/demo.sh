#!/usr/bin/env bash
# The whole road of an update, on this machine, in a throw-away sandbox (a private
# registry and temporary folder; nothing outside it is touched):
#
#  1. nginx on a loopback port serves the update server: the catalogue (behind
#     Basic authorization for the paid editions), a news page and a package;
#  2. a product is installed: a program file with a version resource that says
#     "Brightloom Desktop" 2.1.0.5, and "UpdateServer" points at that nginx;
#  3. build/novalink checks, offers and installs the update: in GTK windows where
#     there is a display, in the terminal otherwise (answering "i" itself when
#     its input is not a terminal); the outcome is shown;
#  4. the staged path: the product runs while the update comes, so the package
#     stays staged with "Update" 1; then `build/novalink /U <pid>` waits for the
#     product to end, puts the package in place and starts the new program.
#
# Ends with exit code 0 when every step did what it should.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/nginx.sh
. scripts/lib/product.sh
# Only what the demo needs: the build, its server and the version resource, and
# the GTK front end where there is a display to show it on.
lists=(build demo)
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && lists+=(gui)
scripts/install-deps.sh "${lists[@]}"
echo "== Building the updater and its tools (build/; a first build takes a minute or two)"
cmake -S . -B build >/dev/null
# The build's own progress lines in place of a silent wait; the whole output
# in build/demo-build.log.
if ! cmake --build build -j"$(nproc)" --target novalink novalink-reg novalink-ver novalink-publish 2>&1 | tee build/demo-build.log |
    { grep --line-buffered -E '^\[ *[0-9]+%\]' || true; } | sed -u 's/^/    /'; then
    tail -n 30 build/demo-build.log | sed 's/^/    /'
    echo "    FAILED: the build (build/demo-build.log)"
    exit 1
fi

sandbox=$(mktemp -d "${TMPDIR:-/tmp}/novalink-demo.XXXXXX")
nginx_pid= product= stopper=
cleanup() {
    for p in $stopper $product $nginx_pid; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
    rm -rf "$sandbox"
}
trap cleanup EXIT

step() { printf '\n== %s\n' "$*"; }
indent() { sed 's/^/    /'; }
fail() { echo "    FAILED: $*"; exit 1; }

export NOVALINK_REGISTRY=$sandbox/registry
export TMPDIR=$sandbox/tmp
www=$sandbox/www
mkdir -p "$NOVALINK_REGISTRY" "$TMPDIR" "$sandbox/Brightloom" "$www/m_update" "$www/files" "$sandbox/logs"
reg=build/novalink-reg
program=$sandbox/Brightloom/brightloom
marker=$sandbox/new-version-started

# ---- 1. the update server ---------------------------------------------------------
step "The update server: nginx on loopback"
# The package: the new program, a script that says when it was started.
cat >"$www/files/Desktop.bin" <<EOF
#!/bin/sh
echo "Brightloom 2.01.0105 started at \$(date +%T) as process \$\$" > '$marker'
EOF
cat >"$www/news.html" <<'EOF'
<html><head><title>Brightloom 2.01.0105</title></head>
<body style="font-family: sans-serif; background: #f4f7fb">
<h2>What is new in Brightloom 2.01.0105</h2>
<ul><li>Faster start</li><li>New templates</li><li>Many small fixes</li></ul>
</body></html>
EOF
printf 'velto:{PLAIN}4061729385\n' >"$sandbox/htpasswd"
start_nginx "$sandbox" "$www" \
    "log_format demo '\$request \"\$http_authorization\" range=\$http_range \$status \"\$http_user_agent\"';
  access_log $sandbox/logs/access.log demo;
  types { text/html html; application/octet-stream bin; text/plain cfg; }" \
    "location /m_update/ { auth_basic \"update\"; auth_basic_user_file $sandbox/htpasswd; }" /news.html ||
    fail "nginx did not start"
: >"$sandbox/logs/access.log"  # the log shows what the updater asks for, not the probe above
server=http://127.0.0.1:$port
# The catalogue, with the package's size and digest, as a publisher writes it.
build/novalink-publish catalogue --package "$www/files/Desktop.bin" --version 2.01.0105 --edition Desktop \
    --download "$server/files/Desktop.bin" --readme "$server/news.html" -o "$www/m_update/blmnl.cfg" >/dev/null ||
    fail "novalink-publish wrote no catalogue"
echo "    $server (process $nginx_pid), serving:"
(cd "$www" && find . -type f | sort | sed 's|^\./||' | indent)
echo "    m_update/blmnl.cfg:"
tr -d '\r' <"$www/m_update/blmnl.cfg" | sed 's/^/        /'

# ---- 2. the installed product --------------------------------------------------------
# The program file: a copy of sleep(1) (so that it can run) with the version
# resource a Windows build of the product carries.
install_product() {
    product_rc "$sandbox/version.rc"
    scripts/add-versioninfo.sh "$sandbox/version.rc" "$(command -v sleep)" "$program"
    "$reg" add 'HKLM\Software\Brightloom' /v Path /t REG_SZ /d "$program" /f >/dev/null
    rm -f "$marker"
}
step "The installed product: $program"
install_product
"$reg" add 'HKLM\Software\Brightloom' /v UpdateServer /t REG_SZ /d "$server" /f >/dev/null
build/novalink-ver "$program" | grep -E 'FileDescription|ProductVersion' | indent
"$reg" query 'HKLM\Software\Brightloom' | indent

# ---- 3. the interactive update ----------------------------------------------------
ui=text
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -e build/novalink-gtk.so ]; then ui=gtk; fi
# Runs build/novalink as the user would; in the terminal without a terminal to
# type in, it answers "i" (Install) itself.
update() {
    local status=0
    if [ "$ui" = gtk ]; then
        echo "    (the windows are open: press \"Install >>\", then OK)"
        NOVALINK_UI=gtk build/novalink || status=$?
    elif [ -t 0 ]; then
        echo "    (answer \"i\" to install)"
        NOVALINK_UI=text build/novalink || status=$?
    else
        printf 'i\n' | NOVALINK_UI=text build/novalink 2>&1 | indent || status=${PIPESTATUS[1]}
    fi
    echo "    exit code $status"
    return "$status"
}
wait_marker() { for _ in $(seq 50); do [ -s "$marker" ] && return 0; sleep 0.1; done; return 1; }

step "build/novalink ($ui front end): check, offer, download, install"
update || fail "the update did not go through"
step "The outcome"
cmp -s "$program" "$www/files/Desktop.bin" || fail "the program file is not the package"
echo "    the program file is now the package:"
ls -l "$program" | indent
[ ! -e "$TMPDIR/BLM_UPDATE" ] || fail "the staging folder is still there"
echo "    the staging folder has been removed"
wait_marker || fail "the new program did not start"
indent <"$marker"
echo "    what nginx served:"
sed 's/^/        /' "$sandbox/logs/access.log"

# ---- 4. the staged path -------------------------------------------------------------
step "The product 2.1.0.5 again, and running: its program file is in use"
install_product
"$program" 600 &
product=$!
echo "    product process: $product"
sleep 0.2

step "build/novalink ($ui front end) while the product runs"
update || fail "the update did not end well"
cmp -s "$program" "$www/files/Desktop.bin" && fail "the program file in use was replaced"
echo "    the program file in use is untouched; the package waits in $TMPDIR/BLM_UPDATE:"
ls -l "$TMPDIR/BLM_UPDATE" | sed 1d | indent
tr -d '\r' <"$TMPDIR/BLM_UPDATE/BLMNL.INI" | indent
"$reg" query 'HKCU\Software\Brightloom' /v Update | indent
"$reg" query 'HKCU\Software\Brightloom' /v Update | grep -q 0x1 || fail "Update is not 1"

step "build/novalink /U $product (the product ends in 2 seconds)"
(sleep 2; kill "$product") &
stopper=$!
TIMEFORMAT="    novalink ended after %R s, using %U s user and %S s system processor time"
status=0
time build/novalink /U "$product" || status=$?
wait "$product" 2>/dev/null || true
product= stopper=
echo "    exit code $status"
[ "$status" -eq 0 ] || fail "the staged update did not go through"

step "The program file is now the package"
cmp -s "$program" "$www/files/Desktop.bin" || fail "the program file is not the package"
ls -l "$program" | indent
[ ! -e "$TMPDIR/BLM_UPDATE" ] || fail "the staging folder is still there"
echo "    the staging folder has been removed"
"$reg" query 'HKCU\Software\Brightloom' /v Update | indent
wait_marker || fail "the new program did not start"
indent <"$marker"

echo
echo "Update demo finished."
