#!/usr/bin/env bash
# Windows' own check of the signed copy, as Wine implements WinVerifyTrust (Authenticode policy),
# in the test prefix, with the throwaway authority that exe_signing made added to the machine's
# Root store: the signed copy is trusted, the copy with one flipped byte is refused for its
# digest, and the unsigned exe for having no signature.
#   wintrust.sh SOURCE_DIR SIGNING_WORK_DIR HELPER UNSIGNED_EXE
set -euo pipefail
source=$1 work=$2 helper=$3 unsigned=$4
run() { "$source/scripts/wine-run" "$helper" "$@" 2>/dev/null | tr -d '\r' || true; }
openssl x509 -in "$work/ca.pem" -outform DER -out "$work/ca.cer"
status=0
expect() {
  local what=$1 want=$2 got
  shift 2
  got=$(run "$@")
  if [ "$got" = "trust=$want" ]; then echo "ok   $what: $got"; else
    echo "FAIL $what: $got, expected trust=$want"; status=1; fi
}
expect "signed copy" 0x00000000 --root "$work/ca.cer" "$work/TolvaneUninstall.exe"
expect "one flipped byte (TRUST_E_BAD_DIGEST)" 0x80096010 "$work/tampered.exe"
expect "unsigned exe (TRUST_E_NOSIGNATURE)" 0x800b0100 "$unsigned"
exit $status
