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
small_disk="$run_dir/small-disk"
small_disk_mounted=0
cleanup() {
    talvera_wine_stop
    # Unmount before removing, or rm would only empty the small disk.
    if [ "$small_disk_mounted" = 1 ]; then umount "$small_disk" || true; fi
    rm -rf "$run_dir"
}
trap cleanup EXIT
talvera_wine_start "$run_dir"

# A small full disk for the staging tests: a 64 KB tmpfs that the prefix
# sees as T:\. Mounting needs root; without it that test is skipped.
mkdir -p "$small_disk"
if mount -t tmpfs -o size=64k tmpfs "$small_disk" 2>/dev/null; then
    small_disk_mounted=1
    ln -s "$small_disk" "$WINEPREFIX/dosdevices/t:"
else
    echo "[test] can't mount a small tmpfs (not root?): the full-disk staging test will be skipped"
fi

export TALVERA_SCREENSHOT_DIR="$build/screenshots"
mkdir -p "$TALVERA_SCREENSHOT_DIR"
echo "[test] running CTest"
status=0
ctest --test-dir "$build" --output-on-failure -j2 --timeout 900 || status=$?
echo "[test] screenshots are in $TALVERA_SCREENSHOT_DIR"
exit $status
