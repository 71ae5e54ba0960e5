// The fixture of the file-cleanup tests: a test folder of real files, every search the program
// starts counted so that a test sees one left open, and every deletion it asks for recorded: by
// its path, or, for one through a handle, by where the handle leads.
#pragma once

#include <string>

#include "files/test_folder.h"
#include "support/seam_fixture.h"

class FileCleanupTest : public SeamTest {
 protected:
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
    // Recorded when it took: a folder that is not empty is not marked.
    g_seam.SetDeleteDisposition = [](HANDLE file) -> BOOL {
      char final[MAX_PATH + 8];
      DWORD length = GetFinalPathNameByHandleA(file, final, sizeof(final), 0);
      FILE_DISPOSITION_INFO disposition = {TRUE};
      BOOL marked = SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                               sizeof(disposition));
      // Without the "\\?\" in front.
      if (marked) Record(length > 4 && length < sizeof(final) ? final + 4 : "?");
      return marked;
    };
  }
  void TearDown() override {
    EXPECT_EQ(0, OpenSearches()) << "a search was left open";
    SeamTest::TearDown();
  }

  TestFolder folder_;
};
