// The fixture of the file-cleanup tests: a test folder of real files, every search the program
// starts counted so that a test sees one left open, and every deletion it asks for recorded.
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
  }
  void TearDown() override {
    EXPECT_EQ(0, OpenSearches()) << "a search was left open";
    SeamTest::TearDown();
  }

  TestFolder folder_;
};
