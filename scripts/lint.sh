#!/usr/bin/env bash
# Static checks on the project's own C++: the committed clang-format style, then cppcheck,
# once for the Linux sources and once for the Windows-only ones (each with its own defines,
# so the two platform halves of a class are not mixed up). Exit status 1 on any finding.
#   scripts/lint.sh            check
#   scripts/lint.sh --fix      reformat in place, then check
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
mapfile -t windows < <(git ls-files '*_win.cpp')
status=0

if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${sources[@]}"
fi

echo "== clang-format (${#sources[@]} files)"
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "!! files differ from .clang-format; scripts/lint.sh --fix reformats them"
    status=1
fi

includes=()
for dir in app games devicelink vr vrsim/include vrsim/src tools/peer catalogue venue recorder power tools/common tools/catalogue tools/venue tools/station tools/recorder tests/common tests/venue tests/recorder; do
    includes+=(-I "$dir")
done
# useStlAlgorithm is a matter of taste; unusedStructMember misreads members read through maps.
common=(--enable=warning,performance,portability,style --std=c++17 --library=qt --inline-suppr
        --error-exitcode=1 -q --suppress=missingIncludeSystem --suppress=useStlAlgorithm
        --suppress=unusedStructMember "${includes[@]}"
        --template='{file}:{line}: {severity}: {id}: {message}')
exclude=()
for file in "${windows[@]}"; do
    exclude+=(-i "$file")
done

echo "== cppcheck, Linux sources"
cppcheck "${common[@]}" -U_WIN32 -D__linux__ "${exclude[@]}" app games devicelink catalogue venue recorder power vr vrsim tools tests bench fuzz \
    || status=1
echo "== cppcheck, Windows sources (${#windows[@]} files)"
cppcheck "${common[@]}" -D_WIN32 "${windows[@]}" || status=1

[ $status -eq 0 ] && echo "lint: clean"
exit $status
