// The program leaves the folder it was started in for the system directory, and stays where it
// is when the system directory is unknown or does not fit.
#include "control/start_folder.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "support/seam_fixture.h"

namespace {

class StartFolder : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    ASSERT_TRUE(GetCurrentDirectoryA(sizeof(started_), started_));
  }
  void TearDown() override {
    SetCurrentDirectoryA(started_);
    SeamTest::TearDown();
  }
  static std::string Current() {
    char folder[MAX_PATH];
    return GetCurrentDirectoryA(sizeof(folder), folder) ? folder : "";
  }
  char started_[MAX_PATH];
};

TEST_F(StartFolder, MovesToTheSystemDirectory) {
  char system[MAX_PATH];
  ASSERT_TRUE(GetSystemDirectoryA(system, sizeof(system)));
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
  EXPECT_EQ(1, LeaveStartFolder());
  EXPECT_STREQ(system, Current().c_str());
}

TEST_F(StartFolder, StaysWithoutASystemDirectory) {
  struct Case {
    const char* name;
    UINT (*answer)(char*, UINT);
  } cases[] = {
      {"unknown", [](char*, UINT) -> UINT { return 0; }},
      {"too long", [](char*, UINT size) -> UINT { return size + 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    g_seam.GetSystemDirectory = c.answer;
    EXPECT_EQ(0, LeaveStartFolder());
    EXPECT_EQ("C:\\", Current());
  }
}

}  // namespace
