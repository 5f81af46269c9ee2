#!/usr/bin/env bash
# Sets up and builds Sitedex, then runs the whole test suite (windows offscreen).
# Extra arguments go to ctest, e.g. scripts/test.sh -L long for the long crash runs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
export QT_QPA_PLATFORM=offscreen
cd "$here/build"
if [ $# -eq 0 ]; then
    set -- -LE long
fi
ctest --output-on-failure -j "$(nproc)" "$@"
