# Sourced by the scripts that run the Windows build under Wine: a throw-away
# prefix in a folder of the caller's, with Wine's own messages off, and without
# the .NET and HTML engines Wine would offer to download.
#
#   wine_prefix DIR [DRIVER]  makes DIR/prefix and exports WINEPREFIX, WINEDEBUG
#                             and WINEDLLOVERRIDES for it. DRIVER "null" (the
#                             default) runs without a display; "x11" on
#                             $DISPLAY, where Wine draws the frames itself (no
#                             window manager is assumed). Returns 1 when
#                             wineboot fails.
#   wine_stop DIR             ends the wineserver of DIR/prefix, and with it
#                             every program still running there

wine_prefix() {
    export WINEPREFIX=$1/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1 || return 1
    if [ "${2:-null}" = null ]; then
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    else
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    fi
    wineserver -w
}

wine_stop() {
    WINEPREFIX=$1/prefix wineserver -k 2>/dev/null || true
}
