#include "control/uninstall.h"

#include "control/broadcast.h"
#include "control/install_location.h"
#include "control/message.h"
#include "files/files.h"
#include "platform/platform.h"
#include "registry/registry_cleanup.h"

const char kMutexName[] = "_tolvane - updatextrict_";
const char kCaption[] = "Uninstall Tolvane";

// Korean texts in code page 949.
// "이미 톨바네가 제거 되었습니다."
const char kAlreadyRemovedText[] =
    "\xC0\xCC\xB9\xCC \xC5\xE7\xB9\xD9\xB3\xD7\xB0\xA1 \xC1\xA6\xB0\xC5 "
    "\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.";
// "톨바네를 제거하시겠습니까?"
const char kConfirmText[] =
    "\xC5\xE7\xB9\xD9\xB3\xD7\xB8\xA6 \xC1\xA6\xB0\xC5\xC7\xCF\xBD\xC3\xB0\xDA\xBD\xC0\xB4\xCF"
    "\xB1\xEE?";
// "톨바네가 제거되었습니다.\n톨바네를 새로 설치하시려면 컴퓨터를 재시작 하십시오."
const char kCompletedText[] =
    "\xC5\xE7\xB9\xD9\xB3\xD7\xB0\xA1 \xC1\xA6\xB0\xC5\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.\n"
    "\xC5\xE7\xB9\xD9\xB3\xD7\xB8\xA6 \xBB\xF5\xB7\xCE \xBC\xB3\xC4\xA1\xC7\xCF\xBD\xC3\xB7\xC1"
    "\xB8\xE9 \xC4\xC4\xC7\xBB\xC5\xCD\xB8\xA6 \xC0\xE7\xBD\xC3\xC0\xDB "
    "\xC7\xCF\xBD\xCA\xBD\xC3\xBF\xC0.";
// "톨바네를 제거하려면 관리자 권한이 필요합니다."
const char kRightsText[] =
    "\xC5\xE7\xB9\xD9\xB3\xD7\xB8\xA6 \xC1\xA6\xB0\xC5\xC7\xCF\xB7\xC1\xB8\xE9 "
    "\xB0\xFC\xB8\xAE\xC0\xDA \xB1\xC7\xC7\xD1\xC0\xCC "
    "\xC7\xCA\xBF\xE4\xC7\xD5\xB4\xCF\xB4\xD9.";

int RunUninstall(HINSTANCE, HINSTANCE, LPSTR, int) {
  HANDLE mutex = SysCreateMutex(kMutexName);
  // Another run, or any program using this name, holds the mutex: leave without a word. A
  // failed creation is no reason to stop; the run then goes on unguarded.
  if (SysGetLastError() == ERROR_ALREADY_EXISTS) {
    if (mutex) SysCloseHandle(mutex);
    return 0;
  }

  if (!LocateInstallFolder()) {
    ShowMessage(kAlreadyRemovedText, kCaption, MB_OK | MB_ICONINFORMATION);
  } else if (ShowMessage(kConfirmText, kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    // The guard's look-ups of the system folders only read: they take place while the
    // components stop, and after the second only the deletions are left.
    NotifyComponents(kUninstallNotice, PrepareInstallFiles);
    RemoveRegistryEntries();
    // The record of the install folder goes only where nothing of it stays for good, so that
    // the next run still finds what stayed.
    if (RemoveInstallFiles()) RemoveClassValue();
    RemoveShellItems();
    ShowMessage(kCompletedText, kCaption, MB_OK | MB_ICONINFORMATION);
  }

  if (mutex) SysCloseHandle(mutex);
  return 0;
}
