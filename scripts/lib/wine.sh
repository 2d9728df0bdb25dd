# Sourced by the scripts that run the Windows build under Wine: a throw-away
# prefix of their own.
#
#   new_wine_prefix DIR DRIVER
#
# Makes DIR/prefix and exports WINEPREFIX for it, WINEDEBUG=-all, and
# WINEDLLOVERRIDES that keep Wine from asking for its .NET and HTML engine
# downloads. DRIVER "null" runs without a display; "x11" on $DISPLAY, where
# Wine draws the frames itself (no window manager is assumed). Returns 1 when
# wineboot fails. The caller stops the prefix's wineserver (wineserver -k).

new_wine_prefix() {
    export WINEPREFIX=$1/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1 || return 1
    if [ "$2" = null ]; then
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    else
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
    fi
    wineserver -w
}
