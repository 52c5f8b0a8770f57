#!/usr/bin/env bash
# Runs the Windows build's test programs under wine64 and fails when any of them fails.
#   tools/wine-test.sh <x86_64 Windows build dir>
# One Wine prefix is made for the run and shared by every program; one private PulseAudio
# server (never a user's) serves them all, since Wine's sound driver connects once per process:
#   - a null sink "speaker" (the default sink; no rewinds, so every played sample reaches its
#     monitor), recorded by this script into monitor.raw for the player tests;
#   - a pipe source "ramp" (the default source) reading pulse/ramp.fifo, which the recorder
#     tests write through Wine's Z: drive, with a reader of this script's own attached so the
#     FIFO never fills and frames written during a pause are consumed;
#   - the server's stream counts in "status", rewritten whenever a stream comes or goes.
# The programs find the run's folder in DD_WINE_RUN. WINE64 names the wine64 loader.
set -euo pipefail

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 <x86_64 Windows build dir>" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
wine=${WINE64:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
if [ ! -x "$wine" ]; then
    echo "wine-test: no wine64 at $wine (Debian package wine64)" >&2
    exit 1
fi

run=$(mktemp -d /tmp/dd-wine-XXXXXX)
pids=()
finish() {
    local pid
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "$wineserver" ] && [ -d "$run/prefix" ]; then
        WINEPREFIX="$run/prefix" "$wineserver" -k 2>/dev/null || true
    fi
    rm -rf "$run"
}
trap finish EXIT

# ---- The sound server ----------------------------------------------------------------------
pulse="$run/pulse"
mkdir -m 700 "$pulse"
export XDG_RUNTIME_DIR="$pulse"
export PULSE_SERVER="unix:$pulse/native"
printf 'autospawn = no\ncookie-file = %s/cookie\n' "$pulse" >"$pulse/client.conf"
export PULSE_CLIENTCONFIG="$pulse/client.conf"
unset PULSE_SOURCE PULSE_SINK PULSE_COOKIE
cat >"$pulse/server.pa" <<EOF
load-module module-native-protocol-unix socket=$pulse/native auth-anonymous=1 auth-cookie-enabled=0
load-module module-null-sink sink_name=speaker norewinds=1
load-module module-pipe-source source_name=ramp file=$pulse/ramp.fifo format=s16le rate=44100 channels=2
set-default-source ramp
set-default-sink speaker
EOF
HOME="$pulse" XDG_CONFIG_HOME="$pulse/config" pulseaudio -n -F "$pulse/server.pa" \
    --daemonize=no --exit-idle-time=-1 --use-pid-file=no --realtime=no --high-priority=no \
    --log-target="file:$pulse/pulseaudio.log" &
pids+=($!)
for _ in $(seq 150); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
if ! pactl info >/dev/null 2>&1; then
    echo "wine-test: the private PulseAudio server did not start. Its log:" >&2
    cat "$pulse/pulseaudio.log" >&2 || true
    exit 1
fi

parecord -d ramp --raw /dev/null &
pids+=($!)
parecord -d speaker.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=10 \
    "$run/monitor.raw" &
pids+=($!)
readers=2
for _ in $(seq 100); do
    [ "$(pactl list short source-outputs | wc -l)" -ge $readers ] && break
    sleep 0.1
done
if [ "$(pactl list short source-outputs | wc -l)" -lt $readers ]; then
    echo "wine-test: the script's own recorders did not attach" >&2
    exit 1
fi

# The stream counts, rewritten whenever a stream comes or goes.
write_status() {
    local outputs inputs
    outputs=$(pactl list short source-outputs | wc -l)
    inputs=$(pactl list short sink-inputs | wc -l)
    printf 'source-outputs %d\nsink-inputs %d\n' $((outputs - readers)) "$inputs" \
        >"$run/status.new"
    mv -f "$run/status.new" "$run/status"
}
pactl subscribe | while read -r event; do
    case $event in
    *source-output* | *sink-input*) write_status ;;
    esac
done &
pids+=($!)
write_status

# ---- Wine ----------------------------------------------------------------------------------
export WINEPREFIX="$run/prefix"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would want a display.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
start=$SECONDS
"$wine" wineboot -i >"$run/wineboot.log" 2>&1 || {
    echo "wine-test: wineboot failed:" >&2
    cat "$run/wineboot.log" >&2
    exit 1
}
echo "wine-test: Wine prefix ready in $((SECONDS - start)) s"
export DD_WINE_RUN="Z:${run//\//\\}"

failed=()
# run_test <label> <folder> <program> [VAR=value...] [-- gtest arguments...]
run_test() {
    local label=$1 folder=$2 program=$3
    shift 3
    local env=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        env+=("$1")
        shift
    done
    [ "${1:-}" = "--" ] && shift
    echo "wine-test: ---- $label"
    local began=$SECONDS
    if (cd "$folder" && env "${env[@]}" "$wine" "$program" --gtest_color=no "$@"); then
        echo "wine-test: ---- $label passed in $((SECONDS - began)) s"
    else
        echo "wine-test: ---- $label FAILED"
        failed+=("$label")
    fi
}

unit="$build/tests/unit"
integration="$build/tests/wine"
run_test app_test "$unit" app_test.exe
# The same zone as the Linux run: local time and universal time differ by eight hours.
run_test services_test "$unit" services_test.exe TZ=CST-8
# The run directory and the file services, from a folder whose name has characters outside
# the ANSI code page (1252 in this prefix, 936 on a Chinese system).
odd="$run/测试 é ü ß ☃"
mkdir -p "$odd"
cp "$unit/services_test.exe" "$odd/"
run_test "services_test in '测试 é ü ß ☃'" "$odd" services_test.exe -- \
    --gtest_filter='PlatformServicesInitialise.*:FileServices.*'
run_test recorder_wine_test "$integration" recorder_wine_test.exe
run_test player_wine_test "$integration" player_wine_test.exe
run_test no_sound_wine_test "$integration" no_sound_wine_test.exe \
    PULSE_SERVER="unix:$run/no-server-here"

echo "wine-test: all programs ran in $((SECONDS - start)) s"
if [ ${#failed[@]} -gt 0 ]; then
    printf 'wine-test: FAILED: %s\n' "${failed[@]}"
    exit 1
fi
echo "wine-test: every Windows test passed under Wine"
