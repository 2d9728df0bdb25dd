#!/bin/sh
# unix-server.sh DIR OWNER GIVE PROGRAM... -- ARGS...
# Runs a Linux server (nginx, tinyproxy) for a test running under Wine, which
# starts this script with CreateProcess on its Linux path. Wine hands the test no
# handle for a Linux process, so the two talk through files in DIR (a Linux path):
#   DIR/pid     the server's process id, once it runs
#   DIR/stop    made by the test: stop the server
#   DIR/exited  written here once the server has ended
# The server is also stopped when the test's Wine process (Linux id OWNER) ends,
# so that a test killed at its time limit leaves nothing running. As root, the
# folder GIVE (or "-" for none) is handed to the user nobody first, for servers
# that drop to that user and write their log there.
dir=$1 owner=$2 give=$3
shift 3
[ "$give" != - ] && [ "$(id -u)" = 0 ] && chown nobody "$give"
alive() {
  state=$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null)
  [ -n "$state" ] && [ "$state" != Z ]
}
programs=
while [ $# -gt 0 ] && [ "$1" != -- ]; do programs="$programs $1"; shift; done
shift
server=
for p in $programs; do
  command -v "$p" >/dev/null 2>&1 || continue
  "$p" "$@" </dev/null >/dev/null 2>&1 &
  server=$!
  break
done
if [ -z "$server" ]; then
  echo 127 >"$dir/exited"
  exit 0
fi
echo "$server" >"$dir/pid"
while alive "$server" && alive "$owner" 2>/dev/null && [ ! -e "$dir/stop" ]; do
  sleep 0.1
done
kill -TERM "$server" 2>/dev/null
for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
  alive "$server" || break
  sleep 0.1
done
kill -KILL "$server" 2>/dev/null
wait "$server" 2>/dev/null
echo done >"$dir/exited"
