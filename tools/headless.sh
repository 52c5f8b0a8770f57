# Shell functions that give a program a private X server (with a small window manager) and a
# private PulseAudio server, never the user's. Source this file, then call
# headless_start [--ramp]; headless_stop runs on exit.

headless_dir=""
headless_pids=()

headless_start() {
    local ramp=0
    [ "${1:-}" = "--ramp" ] && ramp=1
    headless_dir=$(mktemp -d)
    trap headless_stop EXIT

    # X: let Xvfb pick a free display number and tell us which.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$headless_dir/display" \
        >"$headless_dir/xvfb.log" 2>&1 &
    headless_pids+=($!)
    local i
    for i in $(seq 100); do
        [ -s "$headless_dir/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$headless_dir/display" ]; then
        echo "headless: Xvfb did not start:" >&2
        cat "$headless_dir/xvfb.log" >&2
        return 1
    fi
    export DISPLAY=":$(cat "$headless_dir/display")"
    unset WAYLAND_DISPLAY
    export QT_QPA_PLATFORM=xcb
    if command -v openbox >/dev/null; then
        openbox --sm-disable >"$headless_dir/openbox.log" 2>&1 &
        headless_pids+=($!)
        for i in $(seq 50); do
            xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
            sleep 0.1
        done
    fi

    # Sound: a null sink "speaker", a sine source "tone" as the default source, and with
    # --ramp a pipe source "ramp" reading $headless_dir/ramp.fifo.
    export XDG_RUNTIME_DIR="$headless_dir/run"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    export PULSE_SERVER="unix:$XDG_RUNTIME_DIR/native"
    printf 'autospawn = no\n' >"$headless_dir/client.conf"
    export PULSE_CLIENTCONFIG="$headless_dir/client.conf"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
        --log-target="file:$headless_dir/pa.log" \
        -L "module-native-protocol-unix socket=$XDG_RUNTIME_DIR/native auth-anonymous=1" \
        -L "module-null-sink sink_name=speaker" \
        -L "module-sine-source source_name=tone rate=44100 frequency=440" \
        >/dev/null 2>&1 &
    headless_pids+=($!)
    for i in $(seq 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    if ! pactl info >/dev/null 2>&1; then
        echo "headless: PulseAudio did not start:" >&2
        cat "$headless_dir/pa.log" >&2
        return 1
    fi
    pactl set-default-source tone
    pactl set-default-sink speaker
    if [ $ramp -eq 1 ]; then
        pactl load-module module-pipe-source source_name=ramp \
            file="$headless_dir/ramp.fifo" format=s16le rate=44100 channels=2 >/dev/null
    fi
}

# A fresh Wine prefix for this run, in $headless_dir/wine, made once and shared by every Windows
# program the script runs; its wineserver stays up until headless_stop. Sets WINEPREFIX and
# headless_wine (the wine64 loader; WINE64 overrides where it is looked for).
headless_wine_start() {
    headless_wine=${WINE64:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
    if [ ! -x "$headless_wine" ]; then
        echo "headless: no wine64 at $headless_wine (Debian package wine64)" >&2
        return 1
    fi
    headless_wineserver=$(dirname "$headless_wine")/wineserver
    [ -x "$headless_wineserver" ] || headless_wineserver=$(command -v wineserver)
    export WINEPREFIX="$headless_dir/wine"
    export WINEDEBUG=-all
    # No Mono or Gecko: nothing here needs them, and their installers would want a dialog.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    # Wine reads and writes Linux file names in the locale's character set: with UTF-8 every
    # Windows name survives the trip.
    export LC_ALL=C.UTF-8
    # Made without the display: nothing needs showing, and it takes a fraction of the time.
    if ! env -u DISPLAY "$headless_wine" wineboot -i >"$headless_dir/wineboot.log" 2>&1; then
        echo "headless: wineboot failed:" >&2
        cat "$headless_dir/wineboot.log" >&2
        return 1
    fi
    # The desktop that came up with it has no display: end it with its server. Then one server
    # for the rest of the run, rather than one started again for every program.
    "$headless_wineserver" -k 2>/dev/null
    "$headless_wineserver" -w
    if ! "$headless_wineserver" -p; then
        echo "headless: wineserver did not start" >&2
        return 1
    fi
}

headless_stop() {
    local pid
    if [ -n "${WINEPREFIX:-}" ] && [ -n "$headless_dir" ] && [ "$WINEPREFIX" = "$headless_dir/wine" ]; then
        "$headless_wineserver" -k 2>/dev/null || true
        "$headless_wineserver" -w 2>/dev/null || true
    fi
    for pid in "${headless_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${headless_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    headless_pids=()
    [ -n "$headless_dir" ] && rm -rf "$headless_dir"
    headless_dir=""
}

# Prints the id of the recorder's window once it is mapped (waits up to 20 s).
headless_find_window() {
    timeout 20 xdotool search --sync --onlyvisible --name '咚咚鸟' 2>/dev/null | head -n 1
}

# Clicks the client-area point (x, y) of window $1.
headless_click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

# Waits up to 10 s for window $1's title to become $2; prints the title it has.
headless_wait_title() {
    local i title=""
    for i in $(seq 100); do
        title=$(xdotool getwindowname "$1" 2>/dev/null)
        [ "$title" = "$2" ] && break
        sleep 0.1
    done
    printf '%s\n' "$title"
}

# The name a stop at epoch second $1 gives the time-stamped copy, without ".wav": the date,
# then the time with trailing zero fields left out.
headless_stamp() {
    local y mo d h mi s
    read -r y mo d h mi s < <(date -d "@$1" '+%-Y %-m %-d %-H %-M %-S')
    local text="${y}年${mo}月${d}日"
    if [ "$s" -ne 0 ]; then
        text+="${h}时${mi}分${s}秒"
    elif [ "$mi" -ne 0 ]; then
        text+="${h}时${mi}分"
    elif [ "$h" -ne 0 ]; then
        text+="${h}时"
    fi
    printf '%s\n' "$text"
}

# Little-endian unsigned field of $3 bytes at offset $2 of file $1.
headless_field() {
    od -An -t "u$3" -j "$2" -N "$3" "$1" | tr -d ' '
}

# Describes a WAV file: name, size in bytes, format and duration.
headless_describe_wav() {
    local f=$1 size rate channels bits data
    size=$(stat -c %s "$f")
    channels=$(headless_field "$f" 22 2)
    rate=$(headless_field "$f" 24 4)
    bits=$(headless_field "$f" 34 2)
    data=$(headless_field "$f" 40 4)
    printf '%s: %s bytes, %s ch, %s Hz, %s bit, %s s\n' "$(basename "$f")" "$size" "$channels" \
        "$rate" "$bits" "$(awk -v d="$data" -v r="$rate" -v c="$channels" -v b="$bits" \
        'BEGIN { printf "%.2f", d / (r * c * b / 8) }')"
}
