# Sourced: start_virtual_display FIRST LAST starts Xvfb on the first free display number of
# FIRST..LAST, exports DISPLAY and sets xvfb_pid (the caller stops it); it fails when Xvfb is
# missing or no display could be started. Wine creates windows only with a display.
start_virtual_display() {
    local n
    command -v Xvfb >/dev/null 2>&1 || return 1
    for n in $(seq "$1" "$2"); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset </dev/null >/dev/null 2>&1 &
        xvfb_pid=$!
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
    done
    return 1
}
