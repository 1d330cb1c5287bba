# Shared by the real-window tests: a private X display with a window manager,
# and the program started in a private working folder. Sourced, not run.
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

start_display() {
    # Xvfb picks a free display itself: tests run side by side, and a guessed number can
    # land on another test's display.
    Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    export DISPLAY=:$(head -n 1 "$work/display")
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    openbox >"$work/wm.log" 2>&1 &
    sleep 0.5
}

# The main window: a notice, titled the same, may come up before it, and is narrower.
wide() { xdotool search --onlyvisible --name '^Vividra$' 2>/dev/null | while read -r w; do
    [ "$(xdotool getwindowgeometry "$w" 2>/dev/null | sed -nE 's/.*Geometry: ([0-9]+)x.*/\1/p')" \
        -ge 600 ] 2>/dev/null && echo "$w"; done | head -n 1; }
# start_program PROGRAM [ARGS...]: sets $pid and $wid, or fails the test. The program's
# temporary folder is $work/tmp unless $program_tmp says otherwise.
start_program() {
    mkdir -p "$work/tmp" "$work/config"
    export TMPDIR=${program_tmp:-$work/tmp} XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
    export VIVIDRA_INSTANCE=vividra-gui-test-$$
    unset QT_QPA_PLATFORM
    "$@" >"$work/out.log" 2>"$work/err.log" &
    pid=$!
    wid=
    for _ in $(seq 600); do wid=$(wide || true); [ -n "$wid" ] && break; sleep 0.1; done
    [ -n "$wid" ] || { echo "no window appeared"; cat "$work/err.log"; exit 1; }
}

click() { xdotool mousemove --window "$wid" "$1" "$2"; sleep 0.2; xdotool click 1; sleep 0.3; }
# pixel FILE X Y [OPTIONS...]: "r g b" at one point of a picture in $work, read through OPTIONS.
pixel() { convert "$work/$1" "${@:4}" -crop "1x1+$2+$3" -depth 8 txt:- | tail -n 1 | sed -E 's/.*\(([0-9]+),([0-9]+),([0-9]+).*/\1 \2 \3/'; }
grey() { read -r r g b <<<"$(pixel "$@")"; [ $((r > g ? r - g : g - r)) -le 6 ] && [ $((g > b ? g - b : b - g)) -le 6 ]; }
brightness() { read -r r g b <<<"$(pixel "$@")"; echo $(((r + g + b) / 3)); }
# stroke FROM STEP TO Y: a drag with the left button along a row of the window.
stroke() {
    xdotool mousemove --window "$wid" "$1" "$4"; sleep 0.2
    xdotool mousedown 1
    for x in $(seq "$1" "$2" "$3"); do xdotool mousemove --window "$wid" "$x" "$4"; sleep 0.02; done
    xdotool mouseup 1
}
# The visible windows titled like the main one that are not it: alerts and notices.
alerts() { xdotool search --onlyvisible --name '^Vividra$' 2>/dev/null | grep -vx "$wid" || true; }
others() { alerts | wc -l; }
# answer WHAT: presses Return, the default button, in the one alert that comes up, now in $alert.
answer() {
    for _ in $(seq 100); do alert=$(alerts | head -n 1); [ -n "$alert" ] && break; sleep 0.1; done
    [ -n "$alert" ] || { echo "no alert: $1"; exit 1; }
    [ "$(others)" -eq 1 ] || { echo "more than one alert: $1"; exit 1; }
    xdotool windowactivate --sync "$alert" 2>/dev/null || xdotool windowfocus --sync "$alert" || true
    sleep 0.5
    xdotool key Return
}
quit() {
    xdotool key --window "$wid" ctrl+q 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
}
# Fails unless the program ended without an error and took its working folder with it.
ended_cleanly() {
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then echo "program did not exit"; exit 1; fi
    wait "$pid" || { echo "program exited with an error"; cat "$work/err.log"; exit 1; }
    if ls -d "$work"/tmp/vividra-* >/dev/null 2>&1; then echo "working folder left behind"; exit 1; fi
}
