#!/usr/bin/env bash
# The Windows build under wine64, on a private X server (with a window manager) and a private
# PulseAudio server, in one Wine prefix made for the run:
#   - the Win32 window layer's own tests (window_win32_test.exe), with real windows;
#   - the real executable, started from a folder whose name no ANSI code page holds, driven
#     with xdotool through record (by Enter), pause, continue, stop, play back and close;
#   - the executable with no recording device (message box, exit 0) and with no display (the
#     window cannot be created, exit -1).
#   tests/e2e/e2e_wine.sh <x86_64 Windows build dir>
set -uo pipefail
build=$(cd "$1" && pwd)
exe="$build/dongdong-recorder.exe"
window_test="$build/tests/win32/window_win32_test.exe"
source "$(dirname "$0")/../../tools/headless.sh"
source "$(dirname "$0")/e2e_common.sh"

for program in "$exe" "$window_test"; do
    [ -f "$program" ] || { echo "e2e_wine: $program is missing; build it first" >&2; exit 1; }
done

headless_start || exit 1
# The microphone: noise played at the pace of a real device into a null sink, recorded from its
# monitor. (The sine source hands its audio over in bursts, which Wine's capture drops.)
pactl load-module module-null-sink sink_name=mic rate=44100 channels=2 >/dev/null
pacat -d mic --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 </dev/urandom &
headless_pids+=($!)
pactl set-default-source mic.monitor
started=$SECONDS
headless_wine_start || exit 1
echo "Wine prefix made in $((SECONDS - started)) s"

# --- the window layer ------------------------------------------------------------------
began=$SECONDS
(cd "$(dirname "$window_test")" && timeout 300 "$headless_wine" "$window_test" --gtest_color=no)
check "the Win32 window tests pass ($((SECONDS - began)) s)" test $? -eq 0

# --- the executable and a full run -----------------------------------------------------
# Chinese, Latin letters with accents and a snowman: no ANSI code page (936, 1252, ...) holds
# them all, so only the wide functions get this folder right. Started from elsewhere, the
# program still saves next to itself.
rundir="$headless_dir/测试 é ü ☃"
mkdir -p "$rundir"
cp "$exe" "$rundir/"
cd "$headless_dir"

"$headless_wine" "$rundir/dongdong-recorder.exe" 2>"$headless_dir/app.err" &
app=$!
win=$(headless_find_window)
check "window appears" test -n "$win"
[ -n "$win" ] || { cat "$headless_dir/app.err" >&2; kill "$app"; exit 1; }
check "start-up title" equal "$(headless_wait_title "$win" "咚咚鸟录音工具V1.2")" "咚咚鸟录音工具V1.2"
check "always on top" bash -c "xprop -id $win _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE"
# The fixed frame as the window manager takes it from Wine: move, minimize and close, but
# neither resize nor maximize.
actions=$(xprop -id "$win" _NET_WM_ALLOWED_ACTIONS)
check "the window manager offers move, minimize and close" bash -c \
    "grep -q _NET_WM_ACTION_MOVE <<<'$actions' && grep -q _NET_WM_ACTION_MINIMIZE <<<'$actions' && grep -q _NET_WM_ACTION_CLOSE <<<'$actions'"
check "but neither resize nor maximize" bash -c \
    "! grep -qE '_NET_WM_ACTION_(RESIZE|MAXIMIZE)' <<<'$actions'"

# Tab puts the focus on the second button; Enter still clicks 录音按钮.
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool key --delay 100 Tab Return
check "Tab, then Enter starts a recording" equal \
    "$(headless_wait_title "$win" "咚咚鸟V1.2【正在录音】")" "咚咚鸟V1.2【正在录音】"
click() { # x, y, expected title
    headless_click "$win" "$1" "$2"
    check "title after click at $1,$2 is $3" equal "$(headless_wait_title "$win" "$3")" "$3"
}
sleep 1.5
click 43 18 "咚咚鸟V1.2【暂停录音】"
sleep 0.5
click 43 18 "咚咚鸟V1.2【正在录音】"
sleep 1
before=$(date +%s)
click 131 18 "咚咚鸟V1.2【停止录音】"
after=$(date +%s)
e2e_check_recordings "$(e2e_stamped_copy "$rundir" "$before" "$after")" "$rundir/录音.wav"
# 2.5 s were recorded between the clicks, a little more with the time the clicks take. Wine's
# capture starts a little after the device does; still, well over a second must come through.
data=$(headless_field "$rundir/录音.wav" 40 4)
check "about 2.5 s recorded" test "${data:-0}" -gt 176400 -a "${data:-0}" -lt $((176400 * 5))

# Esc does not close the window.
xdotool key Escape
sleep 0.5
check "Esc leaves the window open" equal "$(xdotool getwindowname "$win" 2>/dev/null)" \
    "咚咚鸟V1.2【停止录音】"

# A press on the label drags the window as its title bar would.
place() { xwininfo -id "$win" | awk '/Absolute upper-left [XY]/ {printf "%s ", $NF}'; }
read -r x0 y0 < <(place)
xdotool mousemove --window "$win" 70 48 mousedown 1
for step in 1 2 3 4; do
    xdotool mousemove_relative -- 10 -5
    sleep 0.05
done
xdotool mouseup 1

for _ in $(seq 50); do
    read -r x1 y1 < <(place)
    [ "$x1,$y1" = "$((x0 + 40)),$((y0 - 20))" ] && break
    sleep 0.1
done
check "dragging the label moves the window by the drag" equal "$x1,$y1" "$((x0 + 40)),$((y0 - 20))"

click 219 18 "咚咚鸟V1.2【正在播放】"
speaker=$(pactl list short sinks | awk '$2 == "speaker" {print $1}')
check "playback reaches the speaker" bash -c "for i in \$(seq 50); do
    pactl list short sink-inputs | awk '\$2 == \"$speaker\"' | grep -q . && exit 0; sleep 0.1; done; exit 1"

wmctrl -i -c "$win"
e2e_wait "$app"
check "exit code 0 after close" equal "$e2e_status" 0
check "working file deleted at close" test ! -e "$rundir/录音.wav"
check "time-stamped copy kept" test -n "$(e2e_stamped_copy "$rundir" "$before" "$after")"
check "no spool left" test ! -e "$rundir/录音.wav.part"
if [ "$failures" -ne 0 ]; then
    echo "--- the program's stderr:" >&2
    cat "$headless_dir/app.err" >&2
fi

# --- no sound device: the message box, then the program ends with 0 --------------------
# Without its sound server Wine finds no recording device.
echo keep >"$rundir/录音.wav"
PULSE_SERVER="unix:$headless_dir/nothing-here" "$headless_wine" "$rundir/dongdong-recorder.exe" \
    2>/dev/null &
app=$!
win=$(headless_find_window)
headless_click "$win" 43 18
box=$(timeout 10 xdotool search --sync --onlyvisible --name '^提示:$' | head -n 1)
check "message box shown" test -n "$box"
check "window not on top while the box shows" bash -c \
    "! xprop -id $win _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE"
[ -n "$box" ] && { xdotool windowactivate --sync "$box" key Return 2>/dev/null ||
    xdotool key --window "$box" Return; }
e2e_wait "$app"
check "exit code 0 after a failed start" equal "$e2e_status" 0
check "working file left in place" equal "$(cat "$rundir/录音.wav")" keep

# --- no display: the window cannot be created ------------------------------------------
env -u DISPLAY "$headless_wine" "$rundir/dongdong-recorder.exe" 2>"$headless_dir/nodisplay.err" &
e2e_wait $!
check "exit code -1 without a display" equal "$e2e_status" 255
check "the reason on stderr" grep -q "dongdong-recorder: the window cannot be created" \
    "$headless_dir/nodisplay.err"

echo "Wine part took $((SECONDS - started)) s"
e2e_finish
