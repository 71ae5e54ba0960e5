// The flow with every Windows operation it reaches watched through the seam. The lookup reads
// the real registry; every cleanup open, search and shell-folder request is recorded and made to
// fail, so nothing in the test prefix is changed.
#include "control/uninstall.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "control/install_location.h"
#include "product/product.h"
#include "support/seam_fixture.h"

// The server key as Windows names it, spelt out here so that a wrong key in the program shows.
static const char kClassKeyPath[] =
    "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}\\InProcServer32";

namespace {

// The time to the millisecond (the performance counter), as the wait counts it.
DWORD Milliseconds() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&count);
  return static_cast<DWORD>(count.QuadPart * 1000 / frequency.QuadPart);
}

const char kServerPath[] = "C:\\Program Files\\Brenlock\\Tolvane\\TolShell.dll";

class Uninstall : public SeamTest {
 protected:
  static int& Answer() {
    static int answer;
    return answer;
  }
  struct Box {
    std::string text, caption;
    UINT style;
    HWND owner;
  };
  static std::vector<Box>& Boxes() {
    static std::vector<Box> boxes;
    return boxes;
  }

  void SetUp() override {
    SeamTest::SetUp();
    Boxes().clear();
    Answer() = IDYES;
    memset(g_installDir, 0, sizeof(g_installDir));
    RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                   "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}");
    g_seam.MessageBox = [](HWND owner, const char* text, const char* caption, UINT style) {
      Boxes().push_back({text, caption, style, owner});
      std::string which = !strcmp(text, kConfirmText)          ? "confirm"
                          : !strcmp(text, kCompletedText)      ? "completed"
                          : !strcmp(text, kAlreadyRemovedText) ? "already removed"
                                                               : "other";
      Record("box " + which);
      return which == "confirm" ? Answer() : IDOK;
    };
    g_seam.SendMessageTimeout = [](HWND, UINT, WPARAM, LPARAM lParam, UINT, UINT) -> LRESULT {
      Record("broadcast " + std::to_string(lParam));
      return 0;
    };
    // The rest of the components' second: all of it, as the guard's look-ups take no time on
    // this clock.
    UseSleepClock();
    g_seam.RegOpenKey = [](HKEY root, const char* path, REGSAM access, HKEY* key) -> LONG {
      if (access == KEY_READ) {
        Record("lookup");
        return RegOpenKeyExA(root, path, 0, access, key);
      }
      Record("registry");
      return ERROR_ACCESS_DENIED;
    };
    g_seam.GetVersionEx = [](OSVERSIONINFOA*) -> BOOL {
      Record("registry");
      return FALSE;
    };
    // The guard's collection starts by asking where Windows is; it goes on to the shell's
    // folders, as the removal of the program group and the shortcut does later.
    g_seam.GetWindowsDirectory = [](char* buffer, UINT size) -> UINT {
      Record("guard");
      return PassThrough(g_seam.GetWindowsDirectory, &SysGetWindowsDirectory, buffer, size);
    };
    g_seam.GetSpecialFolderPath = [](char*, int) -> BOOL {
      Record("shell folder");
      return FALSE;
    };
    // The file step holds the install folder before anything in it goes.
    g_seam.HoldFolder = [](const char*) -> HANDLE {
      Record("files");
      return INVALID_HANDLE_VALUE;
    };
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE,
                   "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}");
    SeamTest::TearDown();
  }

  static void Install() {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_LOCAL_MACHINE, kClassKeyPath, REG_SZ, kServerPath,
                                          strlen(kServerPath)));
  }
  // The recorded calls with repeats of the same phase folded into one.
  static std::vector<std::string> Phases() {
    std::vector<std::string> phases;
    for (const std::string& call : Calls())
      if (phases.empty() || phases.back() != call) phases.push_back(call);
    return phases;
  }
  static int Run() {
    char commandLine[] = "/S /uninstall junk";
    return RunUninstall(GetModuleHandleA(nullptr), nullptr, commandLine, SW_HIDE);
  }
};

TEST_F(Uninstall, TextsAreTheKoreanMessagesInCodePage949) {
  EXPECT_EQ(ToCp949(u8"이미 톨바네가 제거 되었습니다."), kAlreadyRemovedText);
  EXPECT_EQ(ToCp949(u8"톨바네를 제거하시겠습니까?"), kConfirmText);
  EXPECT_EQ(ToCp949(u8"톨바네가 제거되었습니다.\n톨바네를 새로 설치하시려면 컴퓨터를 재시작 하십시오."),
            kCompletedText);
  EXPECT_EQ(std::string("Uninstall Tolvane"), kCaption);
  EXPECT_EQ(std::string("_tolvane - updatextrict_"), kMutexName);
  const char* lineFeed = strchr(kCompletedText, '\n');
  ASSERT_NE(nullptr, lineFeed);
  EXPECT_EQ(nullptr, strchr(lineFeed + 1, '\n'));
  EXPECT_EQ(nullptr, strchr(kCompletedText, '\r'));
}

TEST_F(Uninstall, YesRunsEveryStepInOrder) {
  Install();
  EXPECT_EQ(0, Run());
  EXPECT_EQ((std::vector<std::string>{"lookup", "box confirm", "broadcast 1023", "guard",
                                      "shell folder", "sleep 1000", "registry", "files",
                                      "registry", "shell folder", "box completed"}),
            Phases());
  ASSERT_EQ(2u, Boxes().size());
  EXPECT_EQ(nullptr, Boxes()[0].owner);
  EXPECT_EQ("Uninstall Tolvane", Boxes()[0].caption);
  EXPECT_EQ(0x24u, Boxes()[0].style);
  EXPECT_EQ(nullptr, Boxes()[1].owner);
  EXPECT_EQ("Uninstall Tolvane", Boxes()[1].caption);
  EXPECT_EQ(0x40u, Boxes()[1].style);
  EXPECT_STREQ("C:\\Program Files\\Brenlock\\Tolvane", g_installDir);
}

// The components get their full second after the broadcast returned, the guard's look-ups of
// the system folders take place inside it (here slowed to take most of it), and the deletions
// start once it is over, not later by the look-ups' time.
TEST_F(Uninstall, DeletesNothingBeforeTheComponentsHadTheirSecond) {
  struct Clock {
    DWORD returned, lookupsFrom, lookupsTo, firstDeletion;
    int lookups;
  };
  static Clock clock;
  clock = Clock();
  const DWORD kLookupMs = 25;
  Install();
  g_seam.Sleep = nullptr;  // the real wait, on the real clocks
  g_seam.GetMilliseconds = nullptr;
  g_seam.GetTickCount = nullptr;
  g_seam.SendMessageTimeout = [](HWND, UINT, WPARAM, LPARAM, UINT, UINT) -> LRESULT {
    clock.returned = Milliseconds();
    return 0;
  };
  g_seam.GetSpecialFolderPath = [](char*, int) -> BOOL {
    if (clock.firstDeletion) return FALSE;  // the shell items, after the deletions began
    if (!clock.lookups++) clock.lookupsFrom = Milliseconds();
    Sleep(kLookupMs);
    clock.lookupsTo = Milliseconds();
    return FALSE;
  };
  g_seam.RegOpenKey = [](HKEY root, const char* path, REGSAM access, HKEY* key) -> LONG {
    if (access == KEY_READ) return RegOpenKeyExA(root, path, 0, access, key);
    if (!clock.firstDeletion) clock.firstDeletion = Milliseconds();
    return ERROR_ACCESS_DENIED;
  };
  EXPECT_EQ(0, Run());
  ASSERT_GT(clock.lookups, 10) << "the guard's shell folders were looked up during the wait";
  DWORD lookupsTook = clock.lookupsTo - clock.lookupsFrom;
  ASSERT_GE(lookupsTook, 300u);
  EXPECT_GE(clock.lookupsFrom, clock.returned);
  EXPECT_LE(clock.lookupsTo, clock.firstDeletion);
  DWORD waited = clock.firstDeletion - clock.returned;
  EXPECT_GE(waited, 1000u) << "a deletion began before the components had their second";
  EXPECT_LT(waited, 1000u + lookupsTook / 2) << "the look-ups made the wait longer";
}

TEST_F(Uninstall, AnythingButYesStopsAfterTheQuestion) {
  for (int answer : {IDNO, 0, IDCANCEL, IDOK}) {
    SCOPED_TRACE(answer);
    Calls().clear();
    Install();
    Answer() = answer;
    EXPECT_EQ(0, Run());
    EXPECT_EQ((std::vector<std::string>{"lookup", "box confirm"}), Phases());
  }
}

TEST_F(Uninstall, NotInstalledShowsTheAlreadyRemovedBoxOnly) {
  EXPECT_EQ(0, Run());
  EXPECT_EQ((std::vector<std::string>{"lookup", "box already removed"}), Phases());
  ASSERT_EQ(1u, Boxes().size());
  EXPECT_EQ(nullptr, Boxes()[0].owner);
  EXPECT_EQ("Uninstall Tolvane", Boxes()[0].caption);
  EXPECT_EQ(0x40u, Boxes()[0].style);
}

// A real mutex of the same name, as another run would hold it.
TEST_F(Uninstall, LeavesSilentlyWhenTheMutexExists) {
  Install();
  HANDLE other = CreateMutexA(nullptr, FALSE, "_tolvane - updatextrict_");
  ASSERT_NE(nullptr, other);
  EXPECT_EQ(0, Run());
  CloseHandle(other);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(Uninstall, GoesOnWhenTheMutexCannotBeCreated) {
  Install();
  g_seam.CreateMutex = [](const char*) -> HANDLE {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  };
  // No mutex to release at the end: nothing closes a null handle.
  g_seam.CloseHandle = [](HANDLE handle) -> BOOL {
    if (!handle) Record("close");
    return handle ? CloseHandle(handle) : FALSE;
  };
  EXPECT_EQ(0, Run());
  EXPECT_EQ((std::vector<std::string>{"lookup", "box confirm", "broadcast 1023", "guard",
                                      "shell folder", "sleep 1000", "registry", "files",
                                      "registry", "shell folder", "box completed"}),
            Phases());
}

TEST_F(Uninstall, HoldsTheMutexForTheWholeRunAndReleasesIt) {
  Install();
  g_seam.CloseHandle = [](HANDLE handle) -> BOOL {
    Record("close");
    return CloseHandle(handle);
  };
  // While the question is on screen, a second start finds the mutex and leaves.
  g_seam.MessageBox = [](HWND, const char*, const char*, UINT) {
    HANDLE second = CreateMutexA(nullptr, FALSE, "_tolvane - updatextrict_");
    Record(GetLastError() == ERROR_ALREADY_EXISTS ? "held" : "not held");
    CloseHandle(second);
    return IDNO;
  };
  EXPECT_EQ(0, Run());
  EXPECT_EQ((std::vector<std::string>{"lookup", "held", "close"}), Phases());
  HANDLE after = CreateMutexA(nullptr, FALSE, "_tolvane - updatextrict_");
  EXPECT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError()) << "released at the end";
  CloseHandle(after);
}

}  // namespace
