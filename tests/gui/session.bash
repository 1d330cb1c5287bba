# Shared by the real-window tests: a private X display with a window manager,
# and the program started in a private working folder. Sourced, not run.
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

start_display() {
    local display=:$((100 + RANDOM % 800))
    Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    export DISPLAY=$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    openbox >"$work/wm.log" 2>&1 &
    sleep 0.5
}

# start_program PROGRAM [ARGS...]: sets $pid and $wid, or fails the test.
start_program() {
    mkdir -p "$work/tmp" "$work/config"
    export TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config VIVIDRA_INSTANCE=vividra-gui-test-$$
    unset QT_QPA_PLATFORM
    "$@" >"$work/out.log" 2>"$work/err.log" &
    pid=$!
    wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Vividra$' | head -n 1) || true
    [ -n "$wid" ] || { echo "no window appeared"; cat "$work/err.log"; exit 1; }
}
