// The choice between restricting the DLL search and preloading. Wine's kernel32 always has
// SetDefaultDllDirectories, so the systems without it are stood in for through the seam: a
// GetKernelProc that finds less, a version query that answers for the 9x family, odd system
// directories. The calls the looked-up functions and the loader would get are recorded, never
// made, so the test process keeps its own search order.
#include "control/dll_search.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/seam_fixture.h"

namespace {

enum Family { kWineNt, kFamily9x, kFamilyUnknown };

// What the running case's Windows offers.
struct System {
  bool hasSetDefaultDllDirectories;
  BOOL setDefaultDllDirectoriesResult;
  bool hasSetDllDirectory;
  Family family;          // kWineNt: Wine's own answer; the others stood in
  const char* systemDir;  // null: Wine's own answer
} g_system;

BOOL WINAPI RecordSetDefaultDllDirectories(DWORD flags) {
  char call[64];
  snprintf(call, sizeof(call), "SetDefaultDllDirectories 0x%lx", flags);
  SeamTest::Record(call);
  return g_system.setDefaultDllDirectoriesResult;
}

BOOL WINAPI RecordSetDllDirectory(const char* path) {
  SeamTest::Record(std::string("SetDllDirectoryA \"") + (path ? path : "(null)") + "\"");
  return TRUE;
}

FARPROC FindKernelProc(const char* name) {
  void* found = nullptr;
  if (g_system.hasSetDefaultDllDirectories && strcmp(name, "SetDefaultDllDirectories") == 0)
    found = reinterpret_cast<void*>(&RecordSetDefaultDllDirectories);
  if (g_system.hasSetDllDirectory && strcmp(name, "SetDllDirectoryA") == 0)
    found = reinterpret_cast<void*>(&RecordSetDllDirectory);
  return reinterpret_cast<FARPROC>(found);
}

BOOL ReportFamily(OSVERSIONINFOA* version) {
  if (g_system.family == kFamilyUnknown) return FALSE;
  version->dwMajorVersion = 4;
  version->dwMinorVersion = 10;
  version->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  return TRUE;
}

FARPROC NoNtCalls(const char*) { return nullptr; }

// As GetSystemDirectoryA: the length, or the size needed when it does not fit.
UINT ReportSystemDir(char* buffer, UINT size) {
  UINT length = strlen(g_system.systemDir);
  if (length >= size) return length + 1;
  strcpy(buffer, g_system.systemDir);
  return length;
}

HMODULE RecordLoadLibrary(const char* path) {
  SeamTest::Record(std::string("LoadLibrary ") + path);
  return nullptr;
}

std::string RealSystemDir() {
  char dir[MAX_PATH];
  UINT length = GetSystemDirectoryA(dir, sizeof(dir));
  return length && length < sizeof(dir) ? dir : "<no system directory>";
}

// "<sys>" stands for Wine's real system directory.
std::vector<std::string> Expand(std::vector<std::string> calls) {
  for (std::string& call : calls) {
    size_t at = call.find("<sys>");
    if (at != std::string::npos) call.replace(at, 5, RealSystemDir());
  }
  return calls;
}

using DllSearch = SeamTest;

TEST_F(DllSearch, RestrictsWhatEachWindowsAllows) {
  const std::string dir247 = "C:\\" + std::string(244, 'a');  // 247 + "\uxtheme.dll" = 259
  const std::string dir248 = "C:\\" + std::string(245, 'a');
  const std::string dir300 = "C:\\" + std::string(297, 'a');
  const char* const kFallback = "SetDllDirectoryA \"\"";
  const char* const kModern = "SetDefaultDllDirectories 0x800";  // LOAD_LIBRARY_SEARCH_SYSTEM32
  struct Case {
    const char* name;
    System system;
    std::vector<std::string> calls;
  } cases[] = {
      {"Windows 8 and later, Vista and 7 updated", {true, TRUE, true, kWineNt, nullptr},
       {kModern}},
      {"SetDefaultDllDirectories refuses", {true, FALSE, true, kWineNt, nullptr},
       {kModern, kFallback, "LoadLibrary <sys>\\uxtheme.dll"}},
      {"Vista and 7 without the update, XP SP1", {false, FALSE, true, kWineNt, nullptr},
       {kFallback, "LoadLibrary <sys>\\uxtheme.dll"}},
      {"NT 4, 2000, XP", {false, FALSE, false, kWineNt, nullptr},
       {"LoadLibrary <sys>\\uxtheme.dll"}},
      {"9x family", {false, FALSE, false, kFamily9x, nullptr}, {}},
      {"family unknown", {false, FALSE, false, kFamilyUnknown, nullptr},
       {"LoadLibrary <sys>\\uxtheme.dll"}},
      {"system directory elsewhere", {false, FALSE, true, kWineNt, "D:\\WINNT\\system32"},
       {kFallback, "LoadLibrary D:\\WINNT\\system32\\uxtheme.dll"}},
      {"no system directory", {false, FALSE, true, kWineNt, ""}, {kFallback}},
      {"DLL path of 259 bytes", {false, FALSE, true, kWineNt, dir247.c_str()},
       {kFallback, "LoadLibrary " + dir247 + "\\uxtheme.dll"}},
      {"DLL path of 260 bytes", {false, FALSE, true, kWineNt, dir248.c_str()}, {kFallback}},
      {"system directory longer than the buffer", {false, FALSE, true, kWineNt, dir300.c_str()},
       {kFallback}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Calls().clear();
    g_system = c.system;
    g_seam.GetKernelProc = FindKernelProc;
    g_seam.LoadLibrary = RecordLoadLibrary;
    g_seam.GetVersionEx = c.system.family == kWineNt ? nullptr : ReportFamily;
    // The 9x family's ntdll has none of the file calls, and there the version query decides.
    g_seam.GetNtProc = c.system.family == kWineNt ? nullptr : NoNtCalls;
    g_seam.GetSystemDirectory = c.system.systemDir ? ReportSystemDir : nullptr;
    RestrictDllSearch();
    EXPECT_EQ(Expand(c.calls), Calls());
    // Whatever happens, nothing is loaded by a bare name, which the old search would look for
    // in the program's folder.
    for (const std::string& call : Calls()) {
      if (call.rfind("LoadLibrary ", 0) == 0) {
        EXPECT_NE(std::string::npos, call.find(":\\")) << call;
      }
    }
  }
}

// The real lookup in Wine's kernel32.
TEST_F(DllSearch, FindsKernelFunctionsByName) {
  EXPECT_NE(nullptr, SysGetKernelProc("SetDefaultDllDirectories"));
  EXPECT_NE(nullptr, SysGetKernelProc("SetDllDirectoryA"));
  EXPECT_EQ(nullptr, SysGetKernelProc("SetDefaultDllDirectoriesA"));
}

}  // namespace
