#!/usr/bin/env bash
# The host check, scripts/wine32-ok, as a table: its answer for a loader that runs (native), one
# that runs only inside scripts/in-wine32's namespace (emulated: the stand-in loader runs where
# that namespace has registered the 32-bit emulator), one that runs nowhere, a missing one, and
# each forced answer. The namespace is real; only the loader is a stand-in.
#   wine32_ok.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
stand_in() {  # name, then the shell condition under which it runs
  printf '#!/bin/sh\nif %s; then echo wine-8.0; exit 0; fi\nexit 126\n' "$2" >"$work/$1"
  chmod +x "$work/$1"
}
stand_in native true
stand_in emulated '[ -e /proc/sys/fs/binfmt_misc/tolvane-i386 ]'
stand_in nowhere false

failures=0
expect() {  # forced answer, loader, expected start of the answer
  local got
  got=$(TOLVANE_WINE32=$1 TOLVANE_WINE32_LOADER=$2 "$source_dir/scripts/wine32-ok" 2>&1) || true
  case "$got" in
    "$3"*) echo "ok   TOLVANE_WINE32=$1 loader=${2##*/}: $got" ;;
    *) echo "FAIL TOLVANE_WINE32=$1 loader=${2##*/}: '$got', expected '$3…'"; failures=1 ;;
  esac
}
expect "" "$work/native" native
expect "" "$work/emulated" "emulated: "
expect "" "$work/nowhere" "none: this host cannot run 32-bit code ($work/nowhere --version exits 126), nor emulate it"
expect "" "$work/missing" "none: 32-bit Wine ($work/missing) is not installed"
expect yes "$work/nowhere" native
expect emulated "$work/native" "emulated: TOLVANE_WINE32=emulated"
expect no "$work/native" "none: TOLVANE_WINE32=no"
expect maybe "$work/native" "wine32-ok: TOLVANE_WINE32 must be yes, emulated or no"
exit $failures
