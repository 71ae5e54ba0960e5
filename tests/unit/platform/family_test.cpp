// Which family the program takes itself to run on. Wine answers for the NT family; the 9x
// family, NT 4 (no RtlGetVersion) and a compatibility layer's answer come through the seam.
// Under Wine's own "win98" setting both queries answer for the 9x family, as the end-to-end rows
// of the 9x family show with the real exe.
#include "platform/family.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/seam_fixture.h"

namespace {

const DWORD kNt = VER_PLATFORM_WIN32_NT, k9x = VER_PLATFORM_WIN32_WINDOWS;
const DWORD kMissing = 0xFFFF;  // the query is not there, or fails

struct Answers {
  DWORD system;   // RtlGetVersion's platform
  DWORD program;  // GetVersionExA's platform
} g_answers;

class Family : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    g_seam.GetSystemVersion = [](OSVERSIONINFOW* version) -> BOOL {
      EXPECT_EQ(sizeof(OSVERSIONINFOW), version->dwOSVersionInfoSize);
      Record("system");
      if (g_answers.system == kMissing) return FALSE;
      version->dwPlatformId = g_answers.system;
      return TRUE;
    };
    g_seam.GetVersionEx = [](OSVERSIONINFOA* version) -> BOOL {
      Record("program " + std::to_string(version->dwOSVersionInfoSize));
      if (g_answers.program == kMissing) return FALSE;
      version->dwPlatformId = g_answers.program;
      return TRUE;
    };
  }
};

TEST_F(Family, TheSystemsOwnAnswerComesFirst) {
  struct Case {
    const char* name;
    Answers answers;
    WindowsFamily family;
    std::vector<std::string> asked;
  } cases[] = {
      {"NT family", {kNt, kNt}, kFamilyNt, {"system"}},
      // "Run this program in compatibility mode for Windows 95/98".
      {"compatibility layer", {kNt, k9x}, kFamilyNt, {"system"}},
      {"Wine's win98 setting", {k9x, k9x}, kFamily9x, {"system"}},
      {"9x family", {kMissing, k9x}, kFamily9x, {"system", "program 156"}},
      {"NT 4", {kMissing, kNt}, kFamilyNt, {"system", "program 156"}},
      {"Win32s", {kMissing, VER_PLATFORM_WIN32s}, kFamilyUnknown, {"system", "program 156"}},
      {"nothing answers", {kMissing, kMissing}, kFamilyUnknown,
       {"system", "program 156", "program 148"}},
      {"a platform of neither family", {VER_PLATFORM_WIN32s, kNt}, kFamilyUnknown, {"system"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Calls().clear();
    g_answers = c.answers;
    EXPECT_EQ(c.family, GetWindowsFamily());
    EXPECT_EQ(c.asked, Calls());
  }
}

// Wine's real answers, with no stand-in.
TEST(FamilyUnderWine, IsTheNtFamilyByBothQueries) {
  OSVERSIONINFOW system = {};
  system.dwOSVersionInfoSize = sizeof(system);
  ASSERT_TRUE(SysGetSystemVersion(&system));
  EXPECT_EQ(kNt, system.dwPlatformId);
  EXPECT_EQ(kFamilyNt, GetWindowsFamily());
}

}  // namespace
