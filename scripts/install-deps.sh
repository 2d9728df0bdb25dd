#!/usr/bin/env bash
# Installs the Debian packages listed in .ci/packages/*.txt (as root), skipping
# the apt round trip when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t pkgs < <(cat .ci/packages/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
