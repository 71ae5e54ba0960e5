// Whether the uninstaller starts itself again for its rights, and what a copy without them says.
// Wine runs every program as an elevated administrator and has no UAC, so the token's facts,
// the system's version and the shell's relaunch come through the seam. A relaunch that started
// is followed by the next copy, run here with the command line the shell gives it and the token
// the relaunch gave it, so a whole chain of copies is seen. A copy that runs as it is reaches the
// flow: with the product not installed, it takes the mutex and shows the already-removed box.
#include "control/elevation.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "control/uninstall.h"
#include "support/seam_fixture.h"

namespace {

// TOKEN_ELEVATION_TYPE; kNoType: Windows before Vista, where the query fails.
enum Type { kNoType = 0, kDefault = 1, kFull = 2, kLimited = 3 };
enum Fact { kNo, kYes, kCannotTell };

struct Token {
  Type type;
  Fact administrator;   // a member of the Administrators group, not for denying only
  Fact virtualization;  // the token may be virtualized: UAC holds now
};

const Token kElevated = {kFull, kYes, kNo};
const Token kLimitedAdministrator = {kLimited, kNo, kYes};
const Token kStandardUac = {kDefault, kNo, kYes};    // a standard user where UAC holds
const Token kStandardNoUac = {kDefault, kNo, kNo};   // ... where it does not (yet)
const Token kAdministratorNoUac = {kDefault, kYes, kNo};
const Token kXpAdministrator = {kNoType, kYes, kCannotTell};
const Token kXpUser = {kNoType, kNo, kCannotTell};
const Token kNt4 = {kNoType, kCannotTell, kCannotTell};

struct Machine {
  DWORD platform;
  DWORD enableLua;   // the UAC setting in the registry, which waits for the next start
  Token first;       // the token of the copy the user started
  Token relaunched;  // the token of every copy the shell started
  DWORD relaunch;    // what the shell's relaunch returns
};

const DWORD kNt = VER_PLATFORM_WIN32_NT, k9x = VER_PLATFORM_WIN32_WINDOWS;
const int kMaxCopies = 4;  // a chain longer than this is a loop

class Elevation : public SeamTest {
 protected:
  struct State {
    Machine machine;
    Token token;  // of the running copy
    std::string parameters;
    bool started;
  };
  static State& Current() {
    static State state;
    return state;
  }
  static void Install(const Machine& machine) {
    Current() = {machine, machine.first, "", false};
    g_seam.GetNtProc = [](const char* name) -> FARPROC {
      if (Current().machine.platform == k9x) return nullptr;  // ntdll lacks the file calls
      return PassThrough(g_seam.GetNtProc, &SysGetNtProc, name);
    };
    g_seam.GetVersionEx = [](OSVERSIONINFOA* version) -> BOOL {
      BOOL ok = GetVersionExA(version);
      version->dwPlatformId = Current().machine.platform;
      return ok;
    };
    g_seam.GetTokenValue = [](int infoClass, DWORD* value) -> BOOL {
      const Token& token = Current().token;
      if (infoClass == 18) {  // TokenElevationType
        if (token.type == kNoType) return FALSE;
        *value = token.type;
        return TRUE;
      }
      EXPECT_EQ(23, infoClass) << "TokenVirtualizationAllowed";
      if (token.type == kNoType || token.virtualization == kCannotTell) return FALSE;
      *value = token.virtualization == kYes;
      return TRUE;
    };
    g_seam.IsAdministrator = [](int* member) -> BOOL {
      if (Current().token.administrator == kCannotTell) return FALSE;
      *member = Current().token.administrator == kYes;
      return TRUE;
    };
    // The setting in the registry, there to be ignored: it says what the next start of Windows
    // will do, not what holds now.
    g_seam.RegOpenKey = [](HKEY root, const char* path, REGSAM access, HKEY* key) -> LONG {
      if (strstr(path, "Policies\\System")) {
        *key = reinterpret_cast<HKEY>(0x7a11);
        return ERROR_SUCCESS;
      }
      return RegOpenKeyExA(root, path, 0, access, key);
    };
    g_seam.RegQueryValue = [](HKEY key, const char* name, BYTE* data, DWORD* size) -> LONG {
      if (key != reinterpret_cast<HKEY>(0x7a11))
        return RegQueryValueExA(key, name, nullptr, nullptr, data, size);
      if (*size < sizeof(DWORD)) return ERROR_MORE_DATA;
      memcpy(data, &Current().machine.enableLua, sizeof(DWORD));
      *size = sizeof(DWORD);
      return ERROR_SUCCESS;
    };
    g_seam.RegCloseKey = [](HKEY key) -> LONG {
      return key == reinterpret_cast<HKEY>(0x7a11) ? ERROR_SUCCESS : RegCloseKey(key);
    };
    g_seam.RunElevated = [](const WCHAR* path, const WCHAR* parameters) -> DWORD {
      EXPECT_EQ(WideSelf(), path);
      EXPECT_STREQ(L"/relaunched", parameters);
      Record("relaunch");
      Current().parameters = std::string(parameters, parameters + wcslen(parameters));
      Current().started = Current().machine.relaunch == ERROR_SUCCESS;
      return Current().machine.relaunch;
    };
    g_seam.CreateMutex = [](const char* name) {
      Record("mutex");
      return CreateMutexA(nullptr, FALSE, name);
    };
    g_seam.MessageBox = [](HWND owner, const char* text, const char* caption, UINT style) {
      if (strcmp(text, kRightsText) != 0) {
        Record("box");
        return IDOK;
      }
      Record("rights box");
      EXPECT_EQ(nullptr, owner);
      EXPECT_STREQ("Uninstall Tolvane", caption);
      EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), style);
      return IDOK;
    };
  }
  static std::wstring WideSelf() {
    WCHAR self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    return length && length < MAX_PATH ? self : L"<no path>";
  }
  static std::string Self() {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof(self));
    return length && length < sizeof(self) ? self : "<no path>";
  }
  static int RunCopy(const std::string& line) {
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back(0);
    return RunWithRights(commandLine.data());
  }
  // Runs the copy the user started and every copy started after it, as the shell would: its
  // own path quoted, then the parameters.
  static void RunChain(const std::string& firstLine) {
    EXPECT_EQ(0, RunCopy(firstLine));
    for (int copy = 2; Current().started && copy <= kMaxCopies; ++copy) {
      Current().started = false;
      Current().token = Current().machine.relaunched;
      Record("copy " + std::to_string(copy));
      EXPECT_EQ(0, RunCopy("\"" + Self() + "\" " + Current().parameters));
    }
    EXPECT_FALSE(Current().started) << "still relaunching after " << kMaxCopies << " copies";
  }
};

TEST_F(Elevation, RelaunchesOnceAndOnlyWhereTheNewCopyGetsTheRights) {
  const DWORD ok = ERROR_SUCCESS;
  const std::vector<std::string> runs = {"mutex", "box"};
  const std::vector<std::string> relaunchedRuns = {"relaunch", "copy 2", "mutex", "box"};
  struct Case {
    const char* name;
    Machine machine;
    std::vector<std::string> calls;  // "relaunch": this copy ends; "copy N": the next one
  } cases[] = {
      {"elevated", {kNt, 1, kElevated, kElevated, ok}, runs},
      {"limited administrator, UAC on", {kNt, 1, kLimitedAdministrator, kElevated, ok},
       relaunchedRuns},
      // UAC holds until Windows starts again.
      {"limited administrator, UAC switched off, no restart yet",
       {kNt, 0, kLimitedAdministrator, kElevated, ok}, relaunchedRuns},
      // The prompt asks for an administrator's password (over the shoulder).
      {"standard user, UAC on", {kNt, 1, kStandardUac, kElevated, ok}, relaunchedRuns},
      // UAC does not hold before the restart: runas would start the same user's copy again.
      {"standard user, UAC switched on, no restart yet",
       {kNt, 1, kStandardNoUac, kStandardNoUac, ok}, {"rights box"}},
      {"standard user, UAC off", {kNt, 0, kStandardNoUac, kStandardNoUac, ok}, {"rights box"}},
      {"standard user, whether UAC holds cannot be told",
       {kNt, 1, {kDefault, kNo, kCannotTell}, kElevated, ok}, {"rights box"}},
      {"administrator, UAC off, or the built-in Administrator",
       {kNt, 0, kAdministratorNoUac, kElevated, ok}, runs},
      {"membership cannot be told", {kNt, 1, {kDefault, kCannotTell, kYes}, kElevated, ok},
       runs},
      // Usual on machines joined to a domain: elevation refused to standard users.
      {"relaunch refused by policy", {kNt, 1, kStandardUac, kElevated, ERROR_ACCESS_DENIED},
       {"relaunch", "rights box"}},
      {"prompt cancelled", {kNt, 1, kLimitedAdministrator, kElevated, ERROR_CANCELLED},
       {"relaunch"}},
      {"standard user cancels", {kNt, 1, kStandardUac, kElevated, ERROR_CANCELLED},
       {"relaunch"}},
      {"relaunched copy still not elevated",
       {kNt, 1, kLimitedAdministrator, kLimitedAdministrator, ok},
       {"relaunch", "copy 2", "rights box"}},
      {"Windows XP or 2000, administrator", {kNt, 1, kXpAdministrator, kElevated, ok}, runs},
      {"Windows XP or 2000, limited user, Run As an administrator",
       {kNt, 1, kXpUser, kXpAdministrator, ok}, relaunchedRuns},
      // The same account, or "Protect my computer" (a restricted token).
      {"Windows XP or 2000, limited user, Run As without the rights",
       {kNt, 1, kXpUser, kXpUser, ok}, {"relaunch", "copy 2", "rights box"}},
      {"Windows XP or 2000, limited user, Run As cancelled",
       {kNt, 1, kXpUser, kXpAdministrator, ERROR_CANCELLED}, {"relaunch"}},
      {"Windows XP or 2000, limited user, Run As failing (secondary logon off)",
       {kNt, 1, kXpUser, kXpAdministrator, ERROR_SERVICE_DISABLED}, {"relaunch", "rights box"}},
      {"NT 4: nothing can be told", {kNt, 1, kNt4, kElevated, ok}, runs},
      {"9x family", {k9x, 0, kNt4, kElevated, ok}, runs},
      {"9x family, whatever the token says", {k9x, 1, kLimitedAdministrator, kElevated, ok},
       runs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    Install(c.machine);
    RunChain("\"" + Self() + "\"");
    EXPECT_EQ(c.calls, Calls());
  }
}

// The marker only counts as an argument of its own after the program's name; it keeps a copy
// from relaunching and takes nothing else away.
TEST_F(Elevation, OnlyTheMarkerAsAnArgumentStopsARelaunch) {
  const std::string self = "\"" + Self() + "\"";
  const std::vector<std::string> relaunches = {"relaunch", "copy 2", "mutex", "box"};
  const std::vector<std::string> refuses = {"rights box"};
  struct Case {
    std::string commandLine;
    Token token;
    std::vector<std::string> calls;
  } cases[] = {
      {self, kLimitedAdministrator, relaunches},
      {self + " /relaunched", kLimitedAdministrator, refuses},
      {self + "\t/relaunched", kLimitedAdministrator, refuses},
      {self + " /S  /relaunched junk", kLimitedAdministrator, refuses},
      {"C:\\Tolvane\\TolvaneUninstall.exe /relaunched", kLimitedAdministrator, refuses},
      {"TolvaneUninstall.exe /relaunched", kLimitedAdministrator, refuses},
      {"", kLimitedAdministrator, relaunches},
      {"\"C:\\a /relaunched b\\TolvaneUninstall.exe\"", kLimitedAdministrator, relaunches},
      {"\"C:\\a /relaunched b\\TolvaneUninstall.exe", kLimitedAdministrator, relaunches},
      {self + "/relaunched", kLimitedAdministrator, relaunches},
      {self + " /relaunchedx", kLimitedAdministrator, relaunches},
      {self + " /relaunche", kLimitedAdministrator, relaunches},
      {self + " /RELAUNCHED", kLimitedAdministrator, relaunches},
      {self + " \"/relaunched\"", kLimitedAdministrator, relaunches},
      {self + " /relaunched", kElevated, {"mutex", "box"}},
      {self + " /relaunched", kXpAdministrator, {"mutex", "box"}},
      {self + " /relaunched", kXpUser, refuses},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    SetUp();
    Install({kNt, 1, c.token, kElevated, ERROR_SUCCESS});
    RunChain(c.commandLine);
    EXPECT_EQ(c.calls, Calls());
  }
}

// A program path that does not fit the buffer cannot be started again: the rights box.
TEST_F(Elevation, OwnPathTooLongIsAFailedRelaunch) {
  Install({kNt, 1, kLimitedAdministrator, kElevated, ERROR_SUCCESS});
  g_seam.GetModuleFileNameWide = [](WCHAR* buffer, DWORD size) -> DWORD {
    wmemset(buffer, L'a', size - 1);
    buffer[size - 1] = 0;
    return size;
  };
  RunChain("TolvaneUninstall.exe");
  EXPECT_EQ(std::vector<std::string>{"rights box"}, Calls());
}

// A program path with a name the ANSI code page cannot spell (Thai letters in code page 949)
// is started again by that very path, not by the '?' the ANSI conversion would make of it.
TEST_F(Elevation, RelaunchesByTheUtf16Path) {
  static const WCHAR kPath[] = L"C:\\\x0E44\x0E1F\\TolvaneUninstall.exe";
  static std::wstring started;
  Install({kNt, 1, kLimitedAdministrator, kElevated, ERROR_SUCCESS});
  g_seam.GetModuleFileNameWide = [](WCHAR* buffer, DWORD size) -> DWORD {
    DWORD length = static_cast<DWORD>(wcslen(kPath));
    if (length >= size) return size;
    wcscpy(buffer, kPath);
    return length;
  };
  g_seam.RunElevated = [](const WCHAR* path, const WCHAR*) -> DWORD {
    started = path;
    return ERROR_SUCCESS;
  };
  EXPECT_EQ(0, RunCopy("TolvaneUninstall.exe"));
  EXPECT_EQ(std::wstring(kPath), started);
}

// Wine's own answers, with no stand-in for the token or the version: an elevated
// administrator's token, whose copy runs the flow. A wrong group identity would answer "no
// member" here.
TEST_F(Elevation, WinesTokenIsAnElevatedAdministratorsAndRunsAsItIs) {
  DWORD type = 0;
  ASSERT_TRUE(SysGetTokenValue(18, &type));  // TokenElevationType
  EXPECT_EQ(static_cast<DWORD>(kFull), type);
  int member = 0;
  ASSERT_TRUE(SysIsAdministrator(&member));
  EXPECT_EQ(1, member);
  g_seam.RunElevated = [](const WCHAR*, const WCHAR*) -> DWORD {
    Record("relaunch");
    return ERROR_CANCELLED;
  };
  g_seam.CreateMutex = [](const char* name) {
    Record("mutex");
    return CreateMutexA(nullptr, FALSE, name);
  };
  g_seam.MessageBox = [](HWND, const char*, const char*, UINT) {
    Record("box");
    return IDOK;
  };
  EXPECT_EQ(0, RunCopy("\"" + Self() + "\""));
  EXPECT_EQ((std::vector<std::string>{"mutex", "box"}), Calls());
}

}  // namespace
