#!/usr/bin/env bash
# `make run` on a machine with no display: runs the recorder on a private X server and sound
# server whose microphone is a 440 Hz tone, clicks through record, pause, continue, stop, play
# back and close, saves a screenshot and lists the recordings it made.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
source "$(dirname "$0")/headless.sh"

headless_start
echo "demo: private X server $DISPLAY and sound server in $headless_dir"
cd "$build"
rm -f 录音.wav
before=$(date +%s)
./dongdong-recorder &
app=$!
win=$(headless_find_window)
[ -n "$win" ] || { echo "demo: the window did not appear" >&2; exit 1; }
echo "window: $(xdotool getwindowname "$win")"

step() { # caption, x, y, expected title, seconds to let it run
    headless_click "$win" "$2" "$3"
    echo "clicked $1 -> $(headless_wait_title "$win" "$4")"
    sleep "$5"
}
step 录音 43 18 "咚咚鸟V1.2【正在录音】" 2
step 暂停 43 18 "咚咚鸟V1.2【暂停录音】" 1
step 继续 43 18 "咚咚鸟V1.2【正在录音】" 2
step 停止 131 18 "咚咚鸟V1.2【停止录音】" 0.5
step 回放录音 219 18 "咚咚鸟V1.2【正在播放】" 1
mkdir -p demo
import -window root demo/window.png
echo "screenshot: $build/demo/window.png"
echo "recordings made in $build:"
find . -maxdepth 1 -name '*.wav' -newermt "@$before" -print0 | sort -z |
    while IFS= read -r -d '' f; do echo "  $(headless_describe_wav "$f")"; done
sleep 2
wmctrl -i -c "$win"
status=0
wait $app || status=$?
echo "closed, exit code $status; 录音.wav $( [ -e 录音.wav ] && echo kept || echo deleted)"
