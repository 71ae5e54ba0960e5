#!/usr/bin/env bash
# Builds the shipped exe twice more from scratch, in build folders of different names and
# depths, and checks that both are byte-identical to the exe under test: no link timestamp, no
# build path, nothing else that changes from build to build.
#   reproducible.sh SOURCE_DIR WORK_DIR EXE_UNDER_TEST
set -euo pipefail
src=$1 work=$2 exe=$3
rm -rf "$work"
for dir in "$work/a" "$work/second/build-b"; do
  cmake -S "$src" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir" --target TolvaneUninstall -j2 >/dev/null
done
status=0
for built in "$work/a/TolvaneUninstall.exe" "$work/second/build-b/TolvaneUninstall.exe"; do
  if cmp "$exe" "$built"; then echo "identical: $built"; else status=1; fi
done
rm -rf "$work"
exit $status
