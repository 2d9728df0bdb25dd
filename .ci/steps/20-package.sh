#!/usr/bin/env bash
# The Debian package: made by CPack from build/ as it stands (a package for
# /usr whatever prefix it was configured with; its tests are not installed),
# else from a default build of the programs alone in build-package/; installed
# on this machine with its declared dependencies, its programs run from the
# installed paths (novalink --version, novalink-get against nginx on loopback),
# its pictures and man page sections checked, and removed again.
set -euo pipefail
# nginx lives in /usr/sbin, which a non-login root shell may not have on its PATH.
export PATH="$PATH:/usr/local/sbin:/usr/sbin:/sbin"
cd "$(dirname "$0")/../.."
. scripts/lib/nginx.sh
say() { echo "package: $*"; }
fail() {
  echo "package: FAILED: $*" >&2
  exit 1
}
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
if dpkg-query -W -f='${Status}' novalink 2>/dev/null | grep -q "install ok installed"; then
  fail "a novalink package is installed already; it is left alone"
fi
version=$(sed -n 's/^project(novalink VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

dir=build
if [ ! -f build/CMakeCache.txt ]; then
  dir=build-package
  cmake -S . -B "$dir" -DNOVALINK_WERROR=ON >/dev/null
fi
# After scripts/test-all.sh nothing is left to build.
cmake --build "$dir" -j"$(nproc)" >/dev/null
rm -f "$dir"/novalink_*.deb
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log"; fail "cpack"; }
deb=$(echo "$dir"/novalink_*.deb)
[ -f "$deb" ] || fail "cpack made no .deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "$depends" | grep -q libssl || fail "the package does not declare libssl: $depends"
say "$(basename "$deb"): Depends: $depends"

work=$(mktemp -d)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  $sudo dpkg -r novalink >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  -o DPkg::Lock::Timeout=600 "$PWD/$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
[ "$(/usr/bin/novalink --version)" = "novalink $version" ] || fail "/usr/bin/novalink --version: $(/usr/bin/novalink --version)"
for page in novalink novalink-get novalink-reg; do
  [ -f "/usr/share/man/man1/$page.1" ] || [ -f "/usr/share/man/man1/$page.1.gz" ] || fail "no man page $page.1"
  for section in DESCRIPTION ENVIRONMENT "EXIT STATUS"; do
    man -P cat "/usr/share/man/man1/$page.1"* 2>/dev/null | grep -q "^$section" ||
      zgrep -q "^\.SH \"\?$section" "/usr/share/man/man1/$page.1"* || fail "$page(1) has no $section section"
  done
done
if [ -e "$dir/novalink-gtk.so" ]; then
  [ -n "$(ls /usr/lib/novalink/novalink-gtk.so /usr/lib/*/novalink/novalink-gtk.so 2>/dev/null)" ] ||
    fail "the GTK module is not installed"
fi
# The programs find their pictures relative to themselves: bin/../share/novalink/pictures.
for picture in "$dir"/pictures/*.png; do
  cmp -s "$picture" "/usr/share/novalink/pictures/$(basename "$picture")" || fail "$(basename "$picture") is not installed"
done

mkdir -p "$work/www"
head -c 300000 /dev/urandom >"$work/www/file.bin"
start_nginx "$work" "$work/www" "access_log off;" "" /file.bin || fail "nginx did not start"
/usr/bin/novalink-get -q -o "$work/got.bin" "http://127.0.0.1:$port/file.bin" ||
  fail "/usr/bin/novalink-get ended with $?"
cmp -s "$work/www/file.bin" "$work/got.bin" || fail "novalink-get's file differs from the server's"

$sudo dpkg -r novalink >/dev/null
[ ! -e /usr/bin/novalink ] || fail "/usr/bin/novalink is still there after removing the package"
say "installed, novalink $version and novalink-get ran from /usr/bin, removed"
