#!/usr/bin/env bash
# `make fuzz`: builds the WAV reader's fuzz target with libFuzzer, ASan and UBSan, and runs it
# from the seed corpus for a bounded time (FUZZ_SECONDS, 60 by default). Any finding fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$out/corpus" "$out/artifacts"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "$here/wav_reader_fuzz.cpp" "$root/platform/services/wav_reader.cpp" \
    -o "$out/wav_reader_fuzz"
# New inputs go to the build's corpus; the committed seeds stay as they are.
"$out/wav_reader_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/" "$out/corpus" "$here/corpus" 2>&1 | tee "$out/fuzz.log" |
    grep -E "stat::number_of_executed_units|stat::new_units_added|ERROR|SUMMARY|Done" || true
status=${PIPESTATUS[0]}
echo "fuzz: $(grep -c . <(ls "$out/artifacts")) finding(s) in $out/artifacts"
exit "$status"
