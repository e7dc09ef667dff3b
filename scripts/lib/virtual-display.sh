# Sourced: start_virtual_display FIRST LAST starts Xvfb on the first free display number of
# FIRST..LAST, exports DISPLAY and sets xvfb_pid (the caller stops it); it fails when Xvfb is
# missing or no display could be started. Wine creates windows only with a display.
#
# Two runs on one machine can pick the same free number at the same moment; only one
# server gets it. A display is ours when the lock file that the server writes names our
# server's process, never merely because its socket appeared (that may be the other run's).
start_virtual_display() {
    local n owner
    command -v Xvfb >/dev/null 2>&1 || return 1
    for n in $(seq "$1" "$2"); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset </dev/null >/dev/null 2>&1 &
        xvfb_pid=$!
        # Until the server is up, or has given up (another took the number); a loaded
        # machine may take many seconds, so the bound is only there against a hung server.
        for _ in $(seq 1200); do
            kill -0 "$xvfb_pid" 2>/dev/null || break
            owner=$(tr -d ' \n' 2>/dev/null <"/tmp/.X$n-lock")
            if [ "$owner" = "$xvfb_pid" ] && [ -e "/tmp/.X11-unix/X$n" ]; then
                export DISPLAY=":$n"
                return 0
            fi
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    done
    return 1
}
