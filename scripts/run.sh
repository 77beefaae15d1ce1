#!/bin/bash
# Installs what is missing, builds Setup.exe and starts it under Wine. With
# no display it runs under Xvfb, saves a screenshot after a few seconds,
# ends the program and prints where the screenshot is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${TALVERA_BUILD_DIR:-$root/build}"

bash "$root/scripts/bootstrap.sh"
echo "[run] building into $build"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target windows
setup_exe="$build/win/setup/Setup.exe"

# Started from an empty folder so that it installs (not uninstalls).
start_dir=$(mktemp -d /tmp/talvera-start.XXXXXX)

if [ -n "${DISPLAY:-}" ]; then
    cd "$start_dir"
    exec wine "$setup_exe"
fi

source "$root/scripts/wine-env.sh"
run_dir=$(mktemp -d /tmp/talvera-run.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; talvera_wine_stop; rm -rf "$run_dir" "$start_dir"' EXIT
talvera_wine_start "$run_dir"
( cd "$start_dir" && wine "$setup_exe" >/dev/null 2>&1 & )
sleep "${TALVERA_RUN_SECONDS:-8}"
shot="$build/screenshots/run.png"
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
echo "[run] screenshot saved: $shot"
