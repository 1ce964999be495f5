#!/usr/bin/env bash
# Checks the shipped i686 build: its size, that it imports only Windows
# system DLLs (no C++ runtime, libgcc or winpthread DLLs beside it) and that
# its manifest names the x86 processor.
set -euo pipefail
# objdump speaks the locale's language; the checks read its English words.
export LC_ALL=C
exe="${1:-$(dirname "$0")/../build/win32/setup/mabiru-setup.exe}"
# The lean runtime, optimised at link time, keeps it near 54 KiB; a jump
# past this means a runtime piece (exceptions, thread-safe statics,
# iostreams) crept back in.
limit=$((56 * 1024))

[ -f "$exe" ] || { echo "check-shipped: $exe is missing"; exit 1; }
size=$(stat -c %s "$exe")
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -fu)
echo "check-shipped: $(basename "$exe") $size bytes (limit $limit); imports: $(echo $dlls)"

status=0
allowed='^(kernel32|user32|gdi32|shell32|advapi32|comctl32|comdlg32|ole32|msvcrt|ntdll)\.dll$'
while read -r dll; do
  [ -z "$dll" ] && continue
  if ! echo "$dll" | grep -qiE "$allowed"; then
    echo "check-shipped: imports $dll, which is not a Windows system DLL"
    status=1
  fi
done <<<"$dlls"
if [ "$size" -gt "$limit" ]; then
  echo "check-shipped: $size bytes is over the limit of $limit"
  status=1
fi
format=$(i686-w64-mingw32-objdump -f "$exe")
if [[ "$format" != *"file format pei-i386"* ]]; then
  echo "check-shipped: not an i686 executable"
  status=1
fi
# The manifest names the processor the exe is built for; the tests under
# Wine read the rest of it.
manifest=$(tr -d '\0' <"$exe" | sed -n '/<assemblyIdentity /,/>/p')
if [[ "$manifest" != *'processorArchitecture="x86"'* ]]; then
  echo "check-shipped: the manifest's identity does not name the x86 processor"
  status=1
fi
exit $status
