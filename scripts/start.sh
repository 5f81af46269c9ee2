#!/usr/bin/env bash
# Sets up and builds Sitedex, then starts it with the data files in ~/Sitedex (or $SITEDEX_DATA).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
data=${SITEDEX_DATA:-$HOME/Sitedex}
mkdir -p "$data"
cd "$data"
exec "$here/build/sitedex" "$@"
