#!/usr/bin/env bash
# The test suite again under sanitizers; any report fails the run.
#   tools/sanitizers.sh asan   whole Linux suite with AddressSanitizer (leaks included) and UBSan
#   tools/sanitizers.sh tsan   the capture and playback tests with ThreadSanitizer
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?asan or tsan}
jobs=${JOBS:-2}
build="$root/build-$kind"

case "$kind" in
asan)
    flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
    targets=all
    ;;
tsan)
    flags="-fsanitize=thread -fno-omit-frame-pointer"
    targets="recorder_test recorder_spool_test player_test"
    ;;
*)
    echo "sanitizers: unknown kind $kind" >&2
    exit 2
    ;;
esac

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="${flags%% -fno*}" >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j"$jobs" --target $targets

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:exitcode=66"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$root/tools/tsan.supp"
cd "$build"
if [ "$kind" = tsan ]; then
    # The tests labelled "audio": capture, spool and playback, where the threads are.
    ctest --output-on-failure -j"$jobs" --timeout 600 -L audio
else
    # The Windows tests run in the main build; they are not built with these flags.
    ctest --output-on-failure -j"$jobs" --timeout 600 -E '^wine_'
fi
