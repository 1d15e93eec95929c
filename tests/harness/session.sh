# Wine test session: a private Wine prefix and an Xvfb display, both stopped by
# their own process ids (never by name).  Sourced by ./dev.
#
#   session_start DIR   make a new prefix under DIR, start Xvfb (unless a display
#                       is given by KEEP_DISPLAY=1), a warm wineserver and a
#                       program that holds the desktop
#   session_stop        stop the wineserver of this prefix and our Xvfb

SESSION_XVFB_PID=
SESSION_PREFIX=
SESSION_HOLDER_PID=
SESSION_HOLDER_FD=

session_start() {
    local dir=$1
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)  # Wine wants an absolute prefix path
    SESSION_PREFIX=$(mktemp -d "$dir/prefix.XXXXXX")
    export WINEPREFIX=$SESSION_PREFIX
    export WINEDEBUG=-all
    # No Mono/Gecko prompts, and no desktop integration: for every link saved in a
    # Start Menu or Desktop folder Wine starts winemenubuilder, which outlives the
    # program, reads the link's target to take its icon (holding the installed
    # application open, so that a test's next write to it fails at random) and
    # writes .desktop files.  The product has no part in it.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINEARCH=win64

    if [ "${KEEP_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
        local displayfile
        displayfile=$(mktemp)
        # -displayfd picks a free display number and reports it once the server is ready.
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
        SESSION_XVFB_PID=$!
        local i
        for i in $(seq 1 100); do
            [ -s "$displayfile" ] && break
            sleep 0.1
        done
        if [ ! -s "$displayfile" ]; then
            echo "session: Xvfb did not start" >&2
            rm -f "$displayfile"
            return 1
        fi
        export DISPLAY=":$(head -n1 "$displayfile")"
        rm -f "$displayfile"
    fi

    wineboot -i </dev/null >/dev/null 2>&1 || { echo "session: wineboot failed" >&2; return 1; }
    # Wine links the user's Desktop, Documents, Templates, ... to $HOME, which
    # every prefix on the machine shares: give this prefix folders of its own, so
    # that tests neither see nor leave files (shortcuts) outside it.
    local folder
    find "$WINEPREFIX/drive_c/users" -type l | while read -r folder; do
        rm -f "$folder" && mkdir -p "$folder"
    done
    # A persistent wineserver and one warm-up process: later programs start in
    # milliseconds, and Wine's services do not inherit a test's output pipe.  The
    # warm-up also leaves top-level windows unmanaged: with no window manager on
    # the display, Wine would wait 2 s for one whenever a window is hidden.
    wineserver -p </dev/null >/dev/null 2>&1 &
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    # A program that crashes prints Wine's backtrace to its error output and ends,
    # instead of waiting for someone to close the debugger's dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    # One program of ours holds the desktop for the whole session: a command
    # processor waiting on a pipe that this shell keeps open.  Without it Wine
    # closes the desktop (its explorer.exe) a second after the last program has
    # gone, and the next program to start brings up another one as its child,
    # inside a test's job, to be killed with that test.  A program that starts
    # while the desktop closes fails at once, silently (its user32 cannot start),
    # or never shows its window: the silent start-up failures of a first run.
    mkfifo "$SESSION_PREFIX/desktop-holder"
    wine cmd.exe <"$SESSION_PREFIX/desktop-holder" >/dev/null 2>&1 &
    SESSION_HOLDER_PID=$!
    exec {SESSION_HOLDER_FD}>"$SESSION_PREFIX/desktop-holder"
    echo "session: prefix $WINEPREFIX, display $DISPLAY"
}

session_stop() {
    if [ -n "$SESSION_HOLDER_PID" ]; then
        exec {SESSION_HOLDER_FD}>&-  # the end of its input ends the command processor
        wait "$SESSION_HOLDER_PID" 2>/dev/null || true
        SESSION_HOLDER_PID=
    fi
    if [ -n "$SESSION_PREFIX" ]; then
        # -k fails when the server has already gone; under set -e that must
        # not end the caller before it reports its results.
        WINEPREFIX=$SESSION_PREFIX wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX=$SESSION_PREFIX wineserver -w >/dev/null 2>&1 || true
        # A small disk that tests/harness/small-disk could not unmount (a test
        # ended by its time limit): the prefix cannot go with it mounted.
        umount -l "$SESSION_PREFIX/drive_c/Program Files/VEK" 2>/dev/null || true
        if [ "${KEEP_PREFIX:-0}" != 1 ]; then
            rm -rf "$SESSION_PREFIX"
        fi
        SESSION_PREFIX=
    fi
    if [ -n "$SESSION_XVFB_PID" ]; then
        kill "$SESSION_XVFB_PID" 2>/dev/null || true
        wait "$SESSION_XVFB_PID" 2>/dev/null || true
        SESSION_XVFB_PID=
    fi
}
