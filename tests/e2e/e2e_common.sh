# Shared by the end-to-end scripts (source it after tools/headless.sh): the tally of checks and
# the checks of what a stop writes.

failures=0

# check <description> <command...>: runs the command; a failure is counted and reported.
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

# equal <got> <want>: succeeds when they are the same text, else says what was got.
equal() { [ "$1" = "$2" ] || { echo "  got '$1', want '$2'" >&2; return 1; }; }

# e2e_stamped_copy <folder> <first epoch second> <last epoch second>: prints the path of the
# time-stamped copy a stop made in the folder between those seconds; nothing when there is none.
e2e_stamped_copy() {
    local t name
    for t in $(seq "$2" "$3"); do
        name="$1/$(headless_stamp "$t").wav"
        [ -f "$name" ] && printf '%s\n' "$name"
    done | tail -n 1
}

# e2e_check_recordings <time-stamped copy> <working file>: both written by one stop: identical,
# each a WAV file with the 44-byte header of 2 channels, 44100 Hz, 16-bit PCM, whose size
# fields match the file.
e2e_check_recordings() {
    local stamped=$1 w=$2 size
    check "time-stamped copy named after the clock" test -n "$stamped"
    check "working file present" test -f "$w"
    [ -n "$stamped" ] && [ -f "$w" ] || return 0
    check "both files identical" cmp -s "$stamped" "$w"
    size=$(stat -c %s "$w")
    check "RIFF/WAVE/fmt/data tags" equal \
        "$(head -c 4 "$w")$(tail -c +9 "$w" | head -c 8)$(tail -c +37 "$w" | head -c 4)" \
        "RIFFWAVEfmt data"
    check "format 2 ch 44100 Hz 16 bit PCM" equal \
        "$(headless_field "$w" 20 2) $(headless_field "$w" 22 2) $(headless_field "$w" 24 4) $(headless_field "$w" 28 4) $(headless_field "$w" 32 2) $(headless_field "$w" 34 2)" \
        "1 2 44100 176400 4 16"
    check "size fields match the file" equal "$(headless_field "$w" 4 4) $(headless_field "$w" 40 4)" \
        "$((size - 8)) $((size - 44))"
    echo "  $(headless_describe_wav "$w")"
}

# e2e_wait <pid> [seconds]: waits for a program started in the background to end, up to 30
# seconds unless told otherwise, then ends it; sets e2e_status to its exit status, or to
# "killed" when it did not end by itself.
e2e_wait() {
    local pid=$1 i
    for i in $(seq $((${2:-30} * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        e2e_status=killed
        return
    fi
    e2e_status=0
    wait "$pid" || e2e_status=$?
}

# e2e_finish: the script's exit status from the tally.
e2e_finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "every check passed"
}
