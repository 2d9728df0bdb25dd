#!/usr/bin/env bash
# The Win32 windows of novalink.exe and novalink-get.exe under Wine on a virtual
# display, driven by xdotool as a user would. Run by .ci/steps/60-win32.sh inside
# xvfb-run, with a fresh Wine prefix on Wine's X11 driver:
#   tests/platform/win32/windows.sh BUILD_DIR
# Each case presses keys in the real windows and checks the outcome: the program
# file replaced or not, nginx's log, the settings file. Every window is saved as
# a screenshot in BUILD_DIR/tests/output/win32.windows/.
set -euo pipefail
cd "$(dirname "$0")/../../.."
. scripts/lib/nginx.sh
. scripts/lib/product.sh
. scripts/lib/wine.sh
build=$1
shots=$build/tests/output/win32.windows
mkdir -p "$shots"

fail() {
  echo "win32 windows: FAILED: $*" >&2
  exit 1
}
say() { echo "win32 windows: $*"; }

work=$(mktemp -d)
nginx_pid= silent_pid= app_pid=
cleanup() {
  for p in $app_pid $nginx_pid $silent_pid; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wine_prefix "$work" x11 || fail "wineboot could not make a prefix"

# ---- the installed product, the package and the catalogue -----------------------
product_rc "$work/version.rc" "Brightloom Evaluation"
cxx=i686-w64-mingw32-g++-posix
i686-w64-mingw32-windres "$work/version.rc" -O coff -o "$work/version.o"
$cxx -O2 -static -o "$work/installed.exe" tests/platform/win32/programs/probe.cpp "$work/version.o"
$cxx -O2 -static -o "$work/probe.exe" tests/platform/win32/programs/probe.cpp
mkdir -p "$work/www/download" "$work/www/slow" "$work/nginx"
# Some 1.7 MB at 256 KB/s: the download window shows for about seven seconds.
{ cat "$work/probe.exe"; head -c 1500000 /dev/zero; } >"$work/www/slow/Evaluation.bin"
echo '<html><body>What is new</body></html>' >"$work/www/news.html"
chmod a+x "$work"
chmod -R a+rX "$work/www"
start_nginx "$work/nginx" "$work/www" "access_log $work/nginx/access.log;" "location /slow/ { limit_rate 256k; }" ||
  fail "nginx would not start on loopback"
package=$work/www/slow/Evaluation.bin
# The catalogue as a publisher writes it (build/novalink-publish: .ci/steps/60-win32.sh builds it).
build/novalink-publish catalogue --package "$package" --version 2.01.0105 --edition Evaluation \
  --download "http://127.0.0.1:$port/slow/Evaluation.bin" --readme "http://127.0.0.1:$port/news.html" \
  -o "$work/www/download/blmnl.cfg" >/dev/null || fail "novalink-publish wrote no catalogue"

app=$WINEPREFIX/drive_c/Brightloom
mkdir -p "$app"
wine reg add 'HKLM\Software\Brightloom' /v Path /d 'C:\Brightloom\Brightloom.exe' /f >/dev/null 2>&1

# A server that takes the connection and never answers.
perl -MIO::Socket::INET -e '$| = 1; my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1:0", Listen => 8) or die;
  print $s->sockport, "\n"; sleep 300' >"$work/silent.port" &
silent_pid=$!
for _ in $(seq 50); do [ -s "$work/silent.port" ] && break; sleep 0.1; done

# ---- driving the windows -----------------------------------------------------------
# The visible windows of that caption, one "id WIDTHxHEIGHT" line each.
windows() {
  local w
  for w in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
    echo "$w $(xdotool getwindowgeometry "$w" 2>/dev/null | sed -n 's/.*Geometry: //p')"
  done
}
# Waits until `count` windows of the caption show ("" any number), one of them
# other than `old`; prints that one's id.
wait_window() {
  local caption=$1 count=$2 old=${3:-} list id
  for _ in $(seq 150); do
    list=$(windows "$caption" | cut -d' ' -f1)
    if [ -n "$list" ] && { [ -z "$count" ] || [ "$(echo "$list" | wc -l)" = "$count" ]; }; then
      id=$(echo "$list" | grep -v -x -e "$old" | tail -1 || true)
      [ -n "$id" ] && { echo "$id"; return 0; }
    fi
    sleep 0.2
  done
  echo "timed out waiting for $count \"$caption\" window(s) besides '$old': $(windows "$caption" | tr '\n' ';')" >&2
  return 1
}
# Waits for the window of the caption that is at least `min` pixels wide (the
# offer, not the check window it may still be for a moment); prints its id.
wait_wide() {
  local caption=$1 min=$2 id
  for _ in $(seq 150); do
    id=$(windows "$caption" | awk -v min="$min" '{ split($2, g, "x"); if (g[1] + 0 >= min) print $1 }' | tail -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  echo "timed out waiting for a \"$caption\" window $min pixels wide: $(windows "$caption" | tr '\n' ';')" >&2
  return 1
}
shot() {
  sleep 0.7
  import -window root "$shots/$1.png" || fail "no screenshot $1"
}
# Nothing activates a window on a display without a window manager: a click on
# its caption does, as a user's would. Then the keys go to it.
keys() {
  local window=$1
  shift
  xdotool mousemove --window "$window" 60 8 click 1
  sleep 0.4
  xdotool key --delay 150 "$@"
}
start() {
  wine "$@" >"$work/app.out" 2>&1 &
  app_pid=$!
}
# Waits for the program to end; its exit code in `code`.
finish() {
  for _ in $(seq 150); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.2; done
  kill -0 "$app_pid" 2>/dev/null && fail "$1 did not end: $(cat "$work/app.out")"
  code=0
  wait "$app_pid" || code=$?
  app_pid=
}
fresh_product() {
  cp "$work/installed.exe" "$app/Brightloom.exe"
  rm -f "$app/Brightloom.exe.started"
  wine reg add 'HKLM\Software\Brightloom' /v UpdateServer /d "http://127.0.0.1:$1" /f >/dev/null 2>&1
}
downloads() { grep -c 'GET /slow/Evaluation.bin' "$work/nginx/access.log" || true; }

# ---- the check window: a server that never answers, Escape cancels -----------------
fresh_product "$(cat "$work/silent.port")"
start build-win32/novalink.exe
check=$(wait_window Novalink 1) || fail "no check window"
shot check
keys "$check" Escape
finish "the check"
[ "$code" = 11 ] || fail "Escape in the check window ended with $code, not 11 (cancelled)"
cmp -s "$app/Brightloom.exe" "$work/installed.exe" || fail "the cancelled check touched the program file"
say "the check window waits on a silent server; Escape cancels (exit 11), the program file untouched"

# ---- the offer: Enter presses nothing, Escape asks, Alt+I downloads ----------------
fresh_product "$port"
start build-win32/novalink.exe
offer=$(wait_wide Novalink 450) || fail "no offer window"
wait_window Novalink 1 >/dev/null || fail "the check window stayed beside the offer"
shot offer
keys "$offer" Return
sleep 2
[ "$(downloads)" = 0 ] || fail "Enter in the offer started a download"
[ "$(wait_window Novalink 1)" = "$offer" ] || fail "Enter in the offer changed its windows"
keys "$offer" Escape
question=$(wait_window Novalink 2 "$offer") || fail "Escape in the offer did not ask"
shot question
keys "$question" Return  # the default, No: the offer stays
[ "$(wait_window Novalink 1)" = "$offer" ] || fail "No did not close the question"
keys "$offer" alt+i
download=$(wait_window Novalink 1 "$offer") || fail "Alt+I did not open the download window"
sleep 1.5
shot download-1
sleep 1.5
shot download-2
cmp -s "$shots/download-1.png" "$shots/download-2.png" && fail "the download window did not change while downloading"
message=$(wait_window Novalink "" "$download") || fail "no final message"
shot message
keys "$message" Return
finish "the update"
[ "$code" = 0 ] || fail "the update ended with $code: $(cat "$work/app.out")"
[ "$(downloads)" = 1 ] || fail "nginx saw $(downloads) downloads of the package, not one"
for _ in $(seq 100); do cmp -s "$app/Brightloom.exe" "$package" && break; sleep 0.2; done
cmp -s "$app/Brightloom.exe" "$package" || fail "the program file was not replaced by the package"
say "the offer ignores Enter, asks on Escape (No keeps it), downloads on Alt+I with a moving bar, and the package replaces the program file"

# ---- the settings window: Escape saves nothing, Tab to a field, type, Enter saves ---
settings_case() {
  local name=$1 file=$work/$1.settings
  shift
  start build-win32/novalink-get.exe --configure --settings "$(winepath -w "$file" 2>/dev/null | tr -d '\r')"
  local sheet
  sheet=$(wait_window "Download settings - $name.settings" 1) || fail "no settings window"
  "$@" "$sheet"
  finish "the settings window"
  [ "$code" = 0 ] || fail "the settings window ended with $code: $(cat "$work/app.out")"
}
escape() {
  shot settings-server
  # The second tab, by a click on it.
  xdotool mousemove --window "$1" 90 45 click 1
  shot settings-proxy
  keys "$1" Escape
}
edit() {
  keys "$1" Tab Tab e x a m p l e period o r g
  shot settings-typed
  xdotool key Return
}
# Ctrl+Shift+Tab and Ctrl+Tab turn the pages (round), the focus on the new page's
# first field; Tab from the last field of a page reaches the tab strip, whose
# Left shows the page before; Shift+Tab from there is that page's last control.
pages() {
  keys "$1" Tab Tab ctrl+shift+Tab p r o x y period e x a m p l e ctrl+Tab ctrl+Tab Tab Tab Tab Tab Tab Left
  shot settings-keys
  xdotool key --delay 150 shift+Tab Down Return
}
settings_case escaped escape
[ ! -e "$work/escaped.settings" ] || fail "Escape saved the settings"
settings_case edited edit
grep -q 'example.org' "$work/edited.settings" || fail "the typed server is not in the saved settings: $(cat "$work/edited.settings")"
say "the settings window: Escape saves nothing; Tab reaches the server field, Enter presses OK and saves what was typed"
settings_case keys pages
grep -q 'proxyserver=S:"proxy.example"' "$work/keys.settings" && grep -q 'httpversion=I:1' "$work/keys.settings" ||
  fail "Ctrl+Tab, the tab strip's Tab stop and its Left did not reach the fields: $(cat "$work/keys.settings")"
say "the settings window: Ctrl+Shift+Tab and Ctrl+Tab turn the pages; the tab strip is a Tab stop and Left turns it back"
# ---- the offer's news link, a refused news address, and 144 dots per inch ------------
# With no HTML engine the news page is a link: Tab reaches it (its focus shows),
# Enter opens it in the browser (a stand-in that records its start).
offer_run() {  # SHOT MIN_WIDTH KEYS...: the offer shown, shot, then the keys
  local name=$1 min=$2
  shift 2
  fresh_product "$port"
  start build-win32/novalink.exe
  offer=$(wait_wide Novalink "$min") || fail "no offer window ($name)"
  wait_window Novalink 1 >/dev/null || fail "the check window stayed beside the offer ($name)"
  [ $# = 0 ] || keys "$offer" "$@"
  shot "$name"
}
cancel_offer() {
  keys "$offer" Escape
  keys "$(wait_window Novalink 2 "$offer")" y
  finish "the offer"
  [ "$code" = 11 ] || fail "the cancelled offer ended with $code"
}
mkdir -p "$WINEPREFIX/drive_c/browser"
cp "$work/probe.exe" "$WINEPREFIX/drive_c/browser/"
wine reg add 'HKCR\http\shell\open\command' /ve /d 'C:\browser\probe.exe 0 C:\browser\opened' /f >/dev/null 2>&1
offer_run offer-link 450 Tab
xdotool key Return
for _ in $(seq 50); do [ -s "$WINEPREFIX/drive_c/browser/opened" ] && break; sleep 0.2; done
[ -s "$WINEPREFIX/drive_c/browser/opened" ] || fail "Enter on the news link opened no browser"
sleep 1  # the browser's start has returned to the offer
cancel_offer
say "the offer's news link: Tab reaches it, Enter opens it in the browser"
catalogue=$work/www/download/blmnl.cfg
cp "$catalogue" "$work/web.cfg"
sed -i 's|^Readme=[^\r]*|Readme=file:///C:/windows/win.ini|' "$catalogue"
offer_run offer-refused 450
grep -qF 'novalink: the news page refused: file:///C:/windows/win.ini (the news view shows only http: and https: pages)' \
  "$work/app.out" || fail "no line on stderr for the refused news address: $(cat "$work/app.out")"
cancel_offer
cp "$work/web.cfg" "$catalogue"
say "a news address that is not a web page is refused with one line on stderr"
# The windows, their fonts and pictures scale with the screen's 144 dots per inch.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
offer_run offer-144 750
keys "$offer" alt+i
download=$(wait_window Novalink 1 "$offer") || fail "Alt+I did not open the download window at 144 dpi"
sleep 2
shot download-144
shot download-144-later
message=$(wait_window Novalink "" "$download") || fail "no final message at 144 dpi"
keys "$message" Return
finish "the update at 144 dpi"
[ "$code" = 0 ] || fail "the update at 144 dpi ended with $code: $(cat "$work/app.out")"
say "at 144 dots per inch the offer is half as wide again and the update goes through"
say "screenshots in $shots"
