// The shell folders the program asks for, where shell32 has SHGetSpecialFolderPathA and where it
// does not (Windows 95 and NT 4 without Internet Explorer 4's shell update): there the folder's
// item list and its path answer, which Wine's shell32 gives for real.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string.h>

#include "platform/platform.h"
#include "support/seam_fixture.h"

namespace {

FARPROC NoSuchFunction(const char*) { return nullptr; }

class ShellFolder : public SeamTest {};

TEST_F(ShellFolder, TheFallbackAnswersAsTheDirectCall) {
  for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY,
                    CSIDL_DESKTOPDIRECTORY, CSIDL_WINDOWS}) {
    SCOPED_TRACE(csidl);
    char direct[MAX_PATH], viaList[MAX_PATH];
    memset(direct, 0x55, sizeof(direct));
    memset(viaList, 0x55, sizeof(viaList));
    g_seam.GetShellProc = nullptr;
    ASSERT_TRUE(SysGetSpecialFolderPath(direct, csidl));
    g_seam.GetShellProc = [](const char* name) -> FARPROC {
      EXPECT_STREQ("SHGetSpecialFolderPathA", name);
      return nullptr;
    };
    ASSERT_TRUE(SysGetSpecialFolderPath(viaList, csidl));
    EXPECT_STREQ(direct, viaList);
    EXPECT_NE('\0', viaList[0]);
  }
}

// A folder id the shell does not know, or a virtual folder without a path: no answer either way.
TEST_F(ShellFolder, NoPathIsAFailureEitherWay) {
  for (bool fallback : {false, true}) {
    SCOPED_TRACE(fallback ? "fallback" : "direct");
    g_seam.GetShellProc = fallback ? NoSuchFunction : nullptr;
    for (int csidl : {0x7F, CSIDL_DRIVES}) {
      char path[MAX_PATH] = "";
      EXPECT_FALSE(SysGetSpecialFolderPath(path, csidl)) << csidl;
    }
  }
}

TEST(ShellProc, FindsShell32FunctionsByName) {
  EXPECT_NE(nullptr, SysGetShellProc("SHGetSpecialFolderPathA"));
  EXPECT_EQ(nullptr, SysGetShellProc("SHGetSpecialFolderPathX"));
}

}  // namespace
