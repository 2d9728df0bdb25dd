# Sourced by the scripts that run the Windows build under Wine: a throw-away
# prefix in a folder of the caller's, with Wine's own messages off, without the
# .NET and HTML engines Wine would offer to install, and with the null graphics
# driver, so that no display is needed.
#
#   wine_prefix DIR   makes DIR/prefix and exports WINEPREFIX, WINEDEBUG and
#                     WINEDLLOVERRIDES for it; returns 1 when wineboot fails
#   wine_stop DIR     ends the wineserver of DIR/prefix, and with it every
#                     program still running there

wine_prefix() {
    export WINEPREFIX=$1/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1 || return 1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
}

wine_stop() {
    WINEPREFIX=$1/prefix wineserver -k 2>/dev/null || true
}
