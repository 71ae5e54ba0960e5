// Signing helper: Windows' own check of a signed program, as Wine implements it. Optionally adds
// a certificate (DER) to the machine's Root store first, then asks WinVerifyTrust with the
// Authenticode policy (WINTRUST_ACTION_GENERIC_VERIFY_V2), without any user interface or
// revocation check. Prints "trust=0x<result>" and exits 0 when the program is trusted, 1 when
// not, 2 on a usage or store error.
//   e2e_verify_trust [--root CERT.cer] PROGRAM
#include <windows.h>
#include <softpub.h>
#include <stdio.h>
#include <string.h>
#include <wincrypt.h>
#include <wintrust.h>

static int AddRoot(const char* path) {
  static BYTE der[16384];
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD length = 0;
  BOOL read = ReadFile(file, der, sizeof(der), &length, nullptr);
  CloseHandle(file);
  if (!read || length == 0 || length == sizeof(der)) return 0;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                                   CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  if (!store) return 0;
  BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, length,
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  return added;
}

int main(int argc, char** argv) {
  int next = 1;
  if (argc == 4 && !strcmp(argv[1], "--root")) {
    if (!AddRoot(argv[2])) {
      printf("cannot add %s to the Root store (%lu)\n", argv[2], GetLastError());
      return 2;
    }
    next = 3;
  }
  if (next != argc - 1) return 2;
  WCHAR program[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, argv[next], -1, program, MAX_PATH)) return 2;
  WINTRUST_FILE_INFO file;
  memset(&file, 0, sizeof(file));
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = program;
  WINTRUST_DATA data;
  memset(&data, 0, sizeof(data));
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  printf("trust=0x%08lx\n", static_cast<unsigned long>(result));
  return result == ERROR_SUCCESS ? 0 : 1;
}
