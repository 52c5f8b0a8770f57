#!/usr/bin/env bash
# Cross-builds the Windows program with MinGW-w64 (posix threads).
#   tools/build-windows.sh <x86_64|i686> <build dir> [target...]
# Configures <build dir> with cmake/mingw-<arch>.cmake and builds the given targets, or
# everything when none is given. BUILD_TYPE (default Release) and JOBS (default 2) override.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 <x86_64|i686> <build dir> [target...]" >&2
    exit 2
fi
arch=$1
build=$2
shift 2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
toolchain="$source_dir/cmake/mingw-$arch.cmake"
if [ ! -f "$toolchain" ]; then
    echo "build-windows: no toolchain file for '$arch' ($toolchain)" >&2
    exit 2
fi
compiler="$arch-w64-mingw32-g++-posix"
if ! command -v "$compiler" >/dev/null; then
    package=g++-mingw-w64-${arch//_/-}-posix
    echo "build-windows: $compiler is missing (Debian package $package)" >&2
    exit 1
fi

# The toolchain only counts when the build directory is first configured; naming it again
# later is harmless.
cmake -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" --no-warn-unused-cli
if [ $# -gt 0 ]; then
    cmake --build "$build" -j"${JOBS:-2}" --target "$@"
else
    cmake --build "$build" -j"${JOBS:-2}"
fi
