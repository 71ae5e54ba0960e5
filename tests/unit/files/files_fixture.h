// The fixture of the file-cleanup tests: a test folder of real files, every search the program
// starts counted so that a test sees one left open, and every deletion it asks for recorded: by
// its path, or, for one through a handle, by where the handle leads.
#pragma once

#include <string>

#include "files/test_folder.h"
#include "support/seam_fixture.h"

class FileCleanupTest : public SeamTest {
 protected:
  // The two ways files are removed: through handles, with ntdll's calls, and by names where
  // ntdll has none of them (the 9x family).
  struct Way {
    const char* name;
    bool ntdll;
  };
  static constexpr Way kWays[] = {{"through handles", true}, {"by names (the 9x family)", false}};
  static void WithoutHandleCalls() {
    g_seam.GetNtProc = [](const char*) -> FARPROC { return nullptr; };
  }
  static int& OpenSearches() {
    static int open;
    return open;
  }
  void SetUp() override {
    SeamTest::SetUp();
    OpenSearches() = 0;
    g_seam.FindFirstFile = [](const char* pattern, WIN32_FIND_DATAA* found) {
      HANDLE search = FindFirstFileA(pattern, found);
      if (search != INVALID_HANDLE_VALUE) ++OpenSearches();
      return search;
    };
    g_seam.FindClose = [](HANDLE search) {
      --OpenSearches();
      return FindClose(search);
    };
    g_seam.DeleteFile = [](const char* path) {
      Record(path);
      return DeleteFileA(path);
    };
    // Recorded when it took: a folder that is not empty is not marked. Recorded by where the
    // handle leads, in the ANSI code page without best-fit replacements: a character the code
    // page cannot spell shows as '?', never as a separator.
    g_seam.SetDeleteDisposition = [](HANDLE file) -> BOOL {
      BOOL marked = PassThrough(g_seam.SetDeleteDisposition, &SysSetDeleteDisposition, file);
      if (marked) Record(FinalPathOf(file));
      return marked;
    };
  }
  // Where the open handle leads, without the "\\?\" in front; "?" when Windows cannot tell.
  static std::string FinalPathOf(HANDLE file) {
    WCHAR wide[1024];
    char ansi[2048];
    DWORD length = GetFinalPathNameByHandleW(file, wide, 1024, 0);
    if (length <= 4 || length >= 1024) return "?";
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide + 4, -1, ansi, sizeof(ansi),
                                nullptr, nullptr);
    return n > 0 ? std::string(ansi) : "?";
  }
  void TearDown() override {
    EXPECT_EQ(0, OpenSearches()) << "a search was left open";
    SeamTest::TearDown();
  }

  TestFolder folder_;
};
