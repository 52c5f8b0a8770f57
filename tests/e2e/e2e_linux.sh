#!/usr/bin/env bash
# The real executable on a private X server and sound server, driven with xdotool: the window,
# a full record / pause / continue / stop / play back / close run, the start-failure path and
# the no-display path.
set -uo pipefail
exe=$1
source "$(dirname "$0")/../../tools/headless.sh"
source "$(dirname "$0")/e2e_common.sh"

headless_start || exit 1

# The program saves next to its executable, wherever it is started from; the folder's name
# holds characters outside ASCII.
rundir="$headless_dir/测试 录音机"
mkdir -p "$rundir"
cp "$exe" "$rundir/"
cd "$headless_dir"

# --- the window and a full run ---------------------------------------------------------
"$rundir/dongdong-recorder" 2>"$headless_dir/app.err" &
app=$!
win=$(headless_find_window)
check "window appears" test -n "$win"
[ -n "$win" ] || { cat "$headless_dir/app.err" >&2; exit 1; }
check "start-up title" equal "$(xdotool getwindowname "$win")" "咚咚鸟录音工具V1.2"
check "always on top" bash -c "xprop -id $win _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE"

# Outer size 268 x 92 with the frame the window manager reports, centred on the 1280 x 1024
# screen: left (1280-268)/2 = 506, top (1024-92)/2 = 466.
read -r fl fr ft fb < <(xprop -id "$win" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
# The client area's absolute place and size (xdotool's geometry is off under a reparenting WM).
info=$(xwininfo -id "$win")
X=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
Y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
WIDTH=$(awk '/^ *Width:/ {print $NF}' <<<"$info")
HEIGHT=$(awk '/^ *Height:/ {print $NF}' <<<"$info")
check "outer size 268x92" equal "$((WIDTH + fl + fr))x$((HEIGHT + ft + fb))" "268x92"
check "centred" equal "$((X - fl)),$((Y - ft))" "506,466"

titles=()
click() { # x, y, expected title
    headless_click "$win" "$1" "$2"
    titles+=("$(headless_wait_title "$win" "$3")")
    check "title after click at $1,$2 is $3" equal "${titles[-1]}" "$3"
}
click 43 18 "咚咚鸟V1.2【正在录音】"
sleep 1.5
click 43 18 "咚咚鸟V1.2【暂停录音】"
sleep 0.5
click 43 18 "咚咚鸟V1.2【正在录音】"
sleep 1
before=$(date +%s)
click 131 18 "咚咚鸟V1.2【停止录音】"
after=$(date +%s)

stamped=$(e2e_stamped_copy "$rundir" "$before" "$after")
w="$rundir/录音.wav"
e2e_check_recordings "$stamped" "$w"
size=$(stat -c %s "$w")
# 2.5 s were recorded between the clicks; the tone source hands audio over in blocks of up to
# half a second, so allow for that. (Exact frame counts are the recorder tests' job.)
check "2.5 s of audio, give or take a block" test "$((size - 44))" -gt $((176400 * 2)) -a \
    "$((size - 44))" -lt $((176400 * 5))

click 219 18 "咚咚鸟V1.2【正在播放】"
check "playback reaches the speaker" bash -c \
    'for i in $(seq 50); do pactl list short sink-inputs | grep -q . && exit 0; sleep 0.1; done; exit 1'

wmctrl -i -c "$win"
status=0
wait "$app" || status=$?
check "exit code 0 after close" equal "$status" 0
check "working file deleted at close" test ! -e "$rundir/录音.wav"
check "time-stamped copy kept" test -f "$stamped"
check "no spool left" test ! -e "$rundir/录音.wav.part"

# --- a take under way is kept when the window closes or the process is told to end -------
for how in close TERM INT HUP; do
    rm -f "$rundir"/*.wav
    "$rundir/dongdong-recorder" 2>/dev/null &
    app=$!
    win=$(headless_find_window)
    headless_click "$win" 43 18
    headless_wait_title "$win" "咚咚鸟V1.2【正在录音】" >/dev/null
    sleep 0.5
    if [ "$how" = close ]; then wmctrl -i -c "$win"; else kill -"$how" "$app"; fi
    status=0
    wait "$app" || status=$?
    kept=$(find "$rundir" -name '*年*.wav' | head -n 1)
    check "$how during a recording: exit code 0" equal "$status" 0
    check "$how during a recording: the take is saved" test -n "$kept" -a -s "${kept:-/nonexistent}"
    check "$how during a recording: working file deleted" test ! -e "$rundir/录音.wav"
done

# --- the recorder cannot start: message box, then the program ends with 0 ----------------
echo keep >"$rundir/录音.wav"
PULSE_SERVER="unix:$headless_dir/nothing-here" "$rundir/dongdong-recorder" 2>/dev/null &
app=$!
win=$(headless_find_window)
headless_click "$win" 43 18
box=$(timeout 10 xdotool search --sync --onlyvisible --name '^提示:$' | head -n 1)
check "message box shown" test -n "$box"
check "window not on top while the box shows" bash -c \
    "! xprop -id $win _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE"
xdotool windowactivate --sync "$box" key Return 2>/dev/null || xdotool key --window "$box" Return
status=0
wait "$app" || status=$?
check "exit code 0 after a failed start" equal "$status" 0
check "working file left in place" equal "$(cat "$rundir/录音.wav")" keep

# --- no display: the window cannot be created ------------------------------------------
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$rundir/dongdong-recorder" \
    2>"$headless_dir/nodisplay.err" || status=$?
check "exit code -1 without a display" equal "$status" 255
check "error on stderr" test -s "$headless_dir/nodisplay.err"

e2e_finish
