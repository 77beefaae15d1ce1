#!/bin/bash
# Installs what is missing, builds everything and runs every test tier
# (native, Windows unit tests under Wine, end to end under Wine). Exits
# non-zero on any failure and leaves no Xvfb or Wine process behind.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${TALVERA_BUILD_DIR:-$root/build}"

bash "$root/scripts/bootstrap.sh"

echo "[test] building into $build"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2

source "$root/scripts/wine-env.sh"
run_dir=$(mktemp -d /tmp/talvera-test.XXXXXX)
cleanup() {
    talvera_wine_stop
    rm -rf "$run_dir"
}
trap cleanup EXIT
talvera_wine_start "$run_dir"

export TALVERA_SCREENSHOT_DIR="$build/screenshots"
mkdir -p "$TALVERA_SCREENSHOT_DIR"
echo "[test] running CTest"
status=0
ctest --test-dir "$build" --output-on-failure -j2 --timeout 900 || status=$?
echo "[test] screenshots are in $TALVERA_SCREENSHOT_DIR"
exit $status
