#!/usr/bin/env bash
# Inspects a built Windows executable without running it (the 32-bit one cannot run on this
# kernel): its format and machine, a GUI program, its resources (icon, version information,
# manifest), the version strings, and that it imports only DLLs every Windows has.
#   tests/e2e/check_windows_exe.sh <exe> <i686|x86_64>
set -uo pipefail
exe=$1
arch=$2
source "$(dirname "$0")/../../tools/headless.sh"
source "$(dirname "$0")/e2e_common.sh"

objdump=$arch-w64-mingw32-objdump
case $arch in
i686) format=pei-i386 machine=i386 ;;
x86_64) format=pei-x86-64 machine=i386:x86-64 ;;
*) echo "check_windows_exe: unknown architecture '$arch'" >&2; exit 2 ;;
esac
[ -f "$exe" ] || { echo "check_windows_exe: no $exe" >&2; exit 1; }
headers=$("$objdump" -p "$exe") || { echo "check_windows_exe: $objdump cannot read $exe" >&2; exit 1; }

echo "$(basename "$exe"): $(stat -c %s "$exe") bytes"
check "file format $format" grep -q "file format $format\$" <<<"$headers"
check "machine $machine" grep -q "^architecture: $machine," <<<"$("$objdump" -f "$exe")"
if [ "$arch" = i686 ]; then
    check "PE32, not PE32+" grep -q "^Magic[[:space:]]*010b" <<<"$headers"
fi
check "GUI subsystem (no console window)" grep -q "^Subsystem[[:space:]]*00000002" <<<"$headers"

# The resource directory's type table: RT_ICON 3, RT_GROUP_ICON 14, RT_VERSION 16,
# RT_MANIFEST 24.
types=$(awk '/The .rsrc Resource Directory/ {on = 1} on && /^0[0-9a-f]+   Entry: ID:/ {print $4}' <<<"$headers" | tr '\n' ' ')
check "resources: icon, icon group, version, manifest" equal "$types" \
    "0x000003, 0x00000e, 0x000010, 0x000018, "

# The version information holds UTF-16LE strings, each key followed by its value (with up to
# two bytes of alignment between); grep them as byte patterns.
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/\([0-9a-f][0-9a-f]\)/\\x\1/g; s/ //g'; }
has_string() { # key, value
    LC_ALL=C grep -qaP "$(utf16 "$1")\\x00\\x00(\\x00\\x00)?$(utf16 "$2")\\x00\\x00" "$exe"
}
version_strings=(
    "ProductName=咚咚鸟 录音工具"
    "Comments=咚咚鸟"
    "FileVersion=1.2.0.0"
    "ProductVersion=1.2.0.0"
)
for pair in "${version_strings[@]}"; do
    check "version string $pair" has_string "${pair%%=*}" "${pair#*=}"
done
check "a file description that names playback and saving by time" \
    bash -c "LC_ALL=C grep -qaP '$(utf16 FileDescription)\\x00\\x00(\\x00\\x00)?$(utf16 "录音并回放")' '$exe'"
# The fixed part: signature 0xFEEF04BD, structure version 1.0, then file and product version
# 1.2.0.0 as two pairs of 32-bit words (1,2 then 0,0).
check "fixed file and product version 1.2.0.0" bash -c \
    "LC_ALL=C grep -qaP '\\xbd\\x04\\xef\\xfe\\x00\\x00\\x01\\x00(\\x02\\x00\\x01\\x00\\x00\\x00\\x00\\x00){2}' '$exe'"
check "manifest asks for common controls 6 and runs as invoker" bash -c \
    "LC_ALL=C grep -qa 'Microsoft.Windows.Common-Controls' '$exe' && LC_ALL=C grep -qa 'asInvoker' '$exe'"

# Linked statically: nothing beyond the system's own DLLs, no MinGW runtime beside the exe.
dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers" | sort -u)
echo "imports: $(tr '\n' ' ' <<<"$dlls")"
check "imports some DLLs" test -n "$dlls"
system='^(kernel32|user32|gdi32|comctl32|comdlg32|winmm|shell32|ole32|oleaut32|advapi32|shlwapi|uxtheme|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+|ws2_32|version)\.dll$'
others=$(grep -vE "$system" <<<"$dlls" | tr '\n' ' ')
check "only system DLLs imported" equal "$others" ""
check "no MinGW runtime DLL" bash -c "! grep -qE 'libstdc|libgcc|libwinpthread' <<<'$dlls'"

e2e_finish
