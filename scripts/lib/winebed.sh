# Sourced by the test and demo scripts: picks the Windows architecture this
# machine can run, and starts a private Wine prefix, wineserver and X display.
#
# Some kernels run without 32-bit emulation, so 32-bit Wine cannot start there;
# then the same sources are built for x86_64 and run under 64-bit Wine. The
# product itself is always the 32-bit build.

winebed_pick_arch() {
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        WINEBED_ARCH=i686
        WINEBED_WINE=wine
        WINEBED_WINESERVER=/usr/lib/wine/wineserver32
        export WINEARCH=win32
    else
        WINEBED_ARCH=x86_64
        WINEBED_WINE=/usr/lib/wine/wine64
        WINEBED_WINESERVER=/usr/lib/wine/wineserver64
        export WINEARCH=win64
    fi
}

# Creates the prefix under $1 and starts Xvfb and a persistent wineserver for it.
winebed_start() {
    local root=$1
    export WINEPREFIX="$root/prefix"
    export WINEDEBUG=-all
    mkdir -p "$root"

    # Xvfb picks a free display itself and tells us its number.
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$root/display" >/dev/null 2>&1 &
    WINEBED_XVFB_PID=$!
    local i
    for i in $(seq 100); do [ -s "$root/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$root/display")"

    # No Mono or Gecko installer dialogs while the prefix is made. Booting with a
    # server of its own and waiting for that server to end leaves one service
    # manager; a persistent server kept through the boot ends up with two, and
    # services such as RpcSs (which COM activation needs) then fail to start.
    WINEDLLOVERRIDES="mscoree,mshtml=" "$WINEBED_WINE" wineboot -i >/dev/null 2>&1
    "$WINEBED_WINESERVER" -w
    # The server stays up for the rest of the run, so each program starts in a blink.
    "$WINEBED_WINESERVER" -p
    # COM activation goes through RpcSs, which always runs on Windows; started
    # here once, it is settled before the first program needs it.
    "$WINEBED_WINE" sc start rpcss >/dev/null 2>&1 || true
    # A crash ends the process with its exception code instead of waiting in a dialog.
    "$WINEBED_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
}

winebed_stop() {
    [ -n "${WINEPREFIX:-}" ] && "$WINEBED_WINESERVER" -k >/dev/null 2>&1
    [ -n "${WINEBED_XVFB_PID:-}" ] && kill "$WINEBED_XVFB_PID" 2>/dev/null && wait "$WINEBED_XVFB_PID" 2>/dev/null
    return 0
}
