#!/bin/sh
# Starts or stops what one test run shares: a fresh Wine prefix with a persistent
# wineserver, and an Xvfb display for message boxes. Everything is stopped by its
# own PID or prefix; nothing is killed by name.
# usage: session.sh start|stop STATE_DIR
set -eu
action=$1
state=$2
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -n "${LC_ALL:-}" ] || export LC_ALL=C.UTF-8

stop() {
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
    fi
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
    rm -f "$state/display"
}

case "$action" in
start)
    stop
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # -displayfd picks a free display number and writes it once the server is ready.
    rm -f "$state/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display" \
        </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    i=0
    while [ ! -s "$state/display" ]; do
        i=$((i + 1))
        [ $i -le 100 ] || { echo "Xvfb did not start:"; cat "$state/xvfb.log"; exit 1; }
        sleep 0.1
    done
    export DISPLAY=":$(tr -d '\n' <"$state/display")"
    printf '%s' "${DISPLAY#:}" >"$state/display"
    # A persistent server keeps each test's start-up short; stop ends it.
    # Started apart from this script's output: CTest waits until its pipes close.
    wineserver -p </dev/null >"$state/wineserver.log" 2>&1
    wineboot -i >"$state/wineboot.log" 2>&1
    # Without a window manager on Xvfb, Wine waits for one each time a box closes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$state/wineboot.log" 2>&1
    echo "Wine prefix $WINEPREFIX ready on display $DISPLAY"
    ;;
stop)
    stop
    echo "Wine session stopped"
    ;;
*)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
