#!/usr/bin/env bash
# Compiles (syntax only) every Windows-only source file with the MinGW-w64 cross compiler and
# the Win32 headers, so the Windows code kept beside the Linux code does not rot unnoticed.
# Not a Windows build: nothing is linked or run. The cross compiler comes with scripts/setup.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cxx=x86_64-w64-mingw32-g++-posix

"$root/scripts/setup.sh" >/dev/null

qt=$(qmake -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt5)
# The Linux Qt headers stand in for the Windows ones; their export macros do not matter here.
includes=(-isystem "$qt" -isystem "$qt/QtCore" -Wno-attributes)
for dir in app games devicelink vr vrsim/src vrsim/include catalogue venue recorder power tools/common tools/catalogue tools/venue tools/station; do includes+=(-I"$root/$dir"); done

status=0
cd "$root"
while IFS= read -r file; do
  if "$cxx" -std=c++17 -Wall -Wextra -fsyntax-only "${includes[@]}" "$file"; then
    echo "ok      $file"
  else
    echo "FAILED  $file"
    status=1
  fi
done < <(git ls-files '*_win.cpp')
exit $status
