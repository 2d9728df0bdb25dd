#!/usr/bin/env bash
# Installs the Debian packages of the lists in .ci/packages/ (as root), skipping
# the apt round trip when everything is already there. One list per purpose:
#   build    the programs          gui      the GTK front end
#   tests    the tests, fuzzing    windows  the Windows build and fixtures
#   demo     scripts/demo.sh's server and version resource
#
#   scripts/install-deps.sh [LIST...]     (no list: all of them)
set -euo pipefail
cd "$(dirname "$0")/.."
lists=("$@")
[ ${#lists[@]} -gt 0 ] || lists=(build gui tests windows demo)
files=()
for l in "${lists[@]}"; do
  [ -f ".ci/packages/$l.txt" ] || { echo "install-deps: no list $l (.ci/packages/$l.txt)" >&2; exit 2; }
  files+=(".ci/packages/$l.txt")
done
mapfile -t pkgs < <(cat "${files[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
