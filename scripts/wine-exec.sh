#!/bin/bash
# Runs one Windows program under Wine in the environment that
# scripts/test.sh prepared (display, private prefix). CMake uses it as the
# emulator of the Windows build's tests.
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    echo "wine-exec: no WINEPREFIX/DISPLAY: run the tests through scripts/test.sh" >&2
    exit 2
fi
exec wine "$@"
