# Sourced by the scripts that run Windows programs: starts a private X
# display (Xvfb) and a private 32-bit Wine prefix, and stops both again.
#   talvera_wine_start DIR   sets DISPLAY, WINEPREFIX and friends, under DIR
#   talvera_wine_stop        stops wineserver and Xvfb by their own pids

talvera_free_display() {
    local n
    for n in $(seq 91 199); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            echo "$n"
            return 0
        fi
    done
    return 1
}

talvera_wine_start() {
    local dir=$1
    mkdir -p "$dir"
    TALVERA_WINE_DIR=$dir

    local n
    n=$(talvera_free_display) || { echo "no free X display number" >&2; return 1; }
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    TALVERA_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 100); do
        xdpyinfo >/dev/null 2>&1 && break
        kill -0 "$TALVERA_XVFB_PID" 2>/dev/null || { echo "Xvfb failed to start" >&2; cat "$dir/xvfb.log" >&2; return 1; }
        sleep 0.1
    done

    export WINEARCH=win32
    export WINEDEBUG=-all
    # No Mono/Gecko prompts, no .desktop files written by the menu builder.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINEPREFIX="$dir/prefix"
    export HOME="$dir/home"
    mkdir -p "$HOME"
    echo "[wine] making the prefix $WINEPREFIX on display $DISPLAY"
    wineboot -i >"$dir/wineboot.log" 2>&1
    wineserver -w
    # Debian's Wine does not find its own fonts.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # Every program runs in one virtual desktop (no 2-second stall per hidden
    # window without a window manager), and a crash never opens a dialog.
    cat >"$dir/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
    wine regedit /S "$dir/settings.reg" >/dev/null 2>&1
    wineserver -w
    # The user's folders are links into $HOME: make them real folders.
    local d
    for d in "$WINEPREFIX"/drive_c/users/*/*; do
        if [ -L "$d" ]; then rm -f "$d" && mkdir -p "$d"; fi
    done
}

talvera_wine_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX}" ]; then
        local socket_dir=""
        [ -f "$WINEPREFIX/wineserver" ] && socket_dir=$(cat "$WINEPREFIX/wineserver" 2>/dev/null || true)
        timeout 30 wineserver -w 2>/dev/null || wineserver -k 2>/dev/null || true
        [ -n "$socket_dir" ] && rm -rf "/tmp/$socket_dir"
    fi
    if [ -n "${TALVERA_XVFB_PID:-}" ]; then
        kill "$TALVERA_XVFB_PID" 2>/dev/null || true
        wait "$TALVERA_XVFB_PID" 2>/dev/null || true
        TALVERA_XVFB_PID=
    fi
}
