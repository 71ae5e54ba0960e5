#!/usr/bin/env bash
# The host check, scripts/wine32-ok, as a table: its answer for a loader that runs (native), one
# that runs only inside scripts/in-wine32's namespace (emulated: the stand-in loader runs where
# that namespace has registered the 32-bit emulator), one that runs nowhere, a missing one, and
# each forced answer; each with qemu's emulator on PATH and without it. The namespace is real;
# the loaders and the emulator are stand-ins, and PATH holds only the tools the scripts use, so
# no answer depends on what this host has installed (qemu is there only on hosts that cannot run
# 32-bit code themselves).
#   wine32_ok.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1 work=$2
rm -rf "$work" && mkdir -p "$work/tools" "$work/with-qemu"
stand_in() {  # name, then the shell condition under which it runs
  printf '#!/bin/sh\nif %s; then echo wine-8.0; exit 0; fi\nexit 126\n' "$2" >"$work/$1"
  chmod +x "$work/$1"
}
stand_in native true
stand_in emulated '[ -e /proc/sys/fs/binfmt_misc/tolvane-i386 ]'
stand_in nowhere false

# The tools scripts/wine32-ok and scripts/in-wine32 call by name, from this host.
for tool in bash sh dirname unshare mount uname true; do
  found=$(type -P "$tool") || { echo "FAIL: this host has no $tool"; exit 1; }
  ln -s "$found" "$work/tools/$tool"
done
# An emulator that only answers for itself: the namespace registers it, nothing runs through it.
printf '#!/bin/sh\necho "qemu-i386 version 10.0.0 (stand-in)"\n' >"$work/with-qemu/qemu-i386"
chmod +x "$work/with-qemu/qemu-i386"
declare -A paths=([with]="$work/with-qemu:$work/tools" [without]="$work/tools")

failures=0
expect() {  # qemu on PATH (with, without or both), forced answer, loader, expected start
  local qemu got
  for qemu in with without; do
    [ "$1" = both ] || [ "$1" = "$qemu" ] || continue
    got=$(PATH=${paths[$qemu]} TOLVANE_WINE32=$2 TOLVANE_WINE32_LOADER=$3 \
          "$source_dir/scripts/wine32-ok" 2>&1) || true
    case "$got" in
      "$4"*) echo "ok   qemu $qemu, TOLVANE_WINE32=$2 loader=${3##*/}: $got" ;;
      *) echo "FAIL qemu $qemu, TOLVANE_WINE32=$2 loader=${3##*/}: '$got', expected '$4…'"
         failures=1 ;;
    esac
  done
}
expect both "" "$work/native" native
expect with "" "$work/emulated" "emulated: "
expect without "" "$work/emulated" "none: this host cannot run 32-bit code ($work/emulated --version exits 126), nor emulate it: in-wine32: qemu's i386 emulator is not installed"
expect both "" "$work/nowhere" "none: this host cannot run 32-bit code ($work/nowhere --version exits 126), nor emulate it"
expect both "" "$work/missing" "none: 32-bit Wine ($work/missing) is not installed"
expect both yes "$work/nowhere" native
expect both emulated "$work/native" "emulated: TOLVANE_WINE32=emulated"
expect both no "$work/native" "none: TOLVANE_WINE32=no"
expect both maybe "$work/native" "wine32-ok: TOLVANE_WINE32 must be yes, emulated or no"
exit $failures
