#!/usr/bin/env bash
# Opens the tool's window under Xvfb against a simulated device, then either closes it
# again or presses Start and takes screenshots. The device is a QX330 flash chip (the
# flash-new profile, whose chip runs the tool's default built-in image) with the identity
# the built-in ID list accepts (3A4B:0310).
#
#   tools/window_under_xvfb.sh smoke       BUILD_DIR WORK_DIR
#   tools/window_under_xvfb.sh screenshots BUILD_DIR WORK_DIR OUT_DIR
#
# smoke: the window must come up, show the device and close cleanly on Escape (through its
# worker); the exit code is the tool's. screenshots: OUT_DIR/window-before.png with the
# device shown, then Start, and OUT_DIR/window-after.png once the run has passed.
# Needs the Debian packages xvfb, xauth and xdotool (and imagemagick for screenshots).
set -euo pipefail

mode=${1:?mode}
build=$(cd "${2:?build dir}" && pwd)
work=${3:?work dir}
out=${4:-}

if [ "${INSIDE_XVFB:-}" != 1 ]; then
  rm -rf "$work"
  mkdir -p "$work"
  work=$(cd "$work" && pwd)
  "$build/vantorfw-sim" init "$work/bus" flash-new > /dev/null
  printf 'pid = 0x0310\n' >> "$work/bus/devices.ini"
  # The run starts only on Start.
  printf '[Vantor Config]\nCheckVIDPID_INI=1\nAutoRun=0\n' > "$work/settings.ini"
  export INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 800x600x24 -nolisten tcp" "$0" "$mode" "$build" "$work" "$out"
fi

title="USB Audio FW Update Tool"
log="$work/trace.txt"
cd "$work"
VANTOR_SIM="$work/bus" VANTOR_SETTINGS="$work/settings.ini" VANTOR_TRACE=1 \
  "$build/vantorfw" > "$work/out.txt" 2> "$log" &
tool=$!

fail() {
  echo "window_under_xvfb: $*" >&2
  kill "$tool" 2> /dev/null || true
  exit 1
}

# Waits up to 20 s for a trace line.
wait_for_trace() {
  for _ in $(seq 200); do
    grep -q -- "$1" "$log" && return 0
    kill -0 "$tool" 2> /dev/null || fail "the tool ended before \"$1\""
    sleep 0.1
  done
  fail "no \"$1\" in the trace"
}

window=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" | head -n 1) ||
  fail "the window did not come up"
[ -n "$window" ] || fail "the window did not come up"
wait_for_trace "CDevFlow::DEV_GetDefaultDeviceForAllInOne"
sleep 0.5
xdotool windowfocus --sync "$window"

case "$mode" in
  smoke)
    xdotool key Escape
    ;;
  screenshots)
    [ -n "$out" ] || fail "no output directory"
    mkdir -p "$out"
    import -window "$window" "$out/window-before.png"
    xdotool key Return  # Start is the default button
    wait_for_trace "Start Download"
    wait_for_trace "End Download"
    sleep 1
    import -window "$window" "$out/window-after.png"
    xdotool key Escape
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac

for _ in $(seq 200); do
  kill -0 "$tool" 2> /dev/null || break
  sleep 0.1
done
kill -0 "$tool" 2> /dev/null && fail "the window did not close"
wait "$tool"
