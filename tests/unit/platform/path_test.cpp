#include "platform/path.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "platform/platform.h"

TEST(FormatPath, JoinsWhenTheResultFits) {
  PathBuffer buffer;
  ASSERT_EQ(1, FormatPath(buffer, sizeof(buffer), "%s\\%s", "C:\\Dir", "file.dll"));
  EXPECT_STREQ("C:\\Dir\\file.dll", buffer);
}

// Lengths around the 260-byte limit: 259 characters and the terminator fit, 260 do not (msvcrt
// writes them all and no terminator), and 261 make _vsnprintf report -1.
TEST(FormatPath, ReportsEveryResultThatDoesNotFit) {
  struct Case {
    size_t length;
    int fits;
  } cases[] = {{258, 1}, {259, 1}, {260, 0}, {261, 0}, {600, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    std::string parent(c.length - 2, 'a');  // "%s\\%s" adds a backslash and one character
    char buffer[kPathSize + 8];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(c.fits, FormatPath(buffer, kPathSize, "%s\\%s", parent.c_str(), "b"));
    if (c.fits) {
      EXPECT_EQ(c.length, strlen(buffer));
    } else {
      EXPECT_STREQ("", buffer);
    }
    EXPECT_EQ('#', buffer[kPathSize]) << "wrote past the buffer";
  }
}

// A final path comes back from Windows in UTF-16 and is judged as text of the ANSI code page
// (949 in the test prefix): a name the code page cannot spell as itself must not come back as a
// look-alike, least of all as a separator (the won sign's best fit is '\').
TEST(WideToAnsi, RefusesWhatTheCodePageCannotSpell) {
  struct Case {
    const wchar_t* text;
    int size;
    const char* result;  // nullptr: refused
  } cases[] = {
      {L"C:\\Program Files\\Tolvane", MAX_PATH, "C:\\Program Files\\Tolvane"},
      {L"C:\\\xD1A8\xBC14\xB124", MAX_PATH, "C:\\\xC5\xE7\xB9\xD9\xB3\xD7"},  // 톨바네
      {L"C:\\Users\\\x20A9\\Tolvane", MAX_PATH, nullptr},                      // won sign
      {L"C:\\\x0E44\x0E17\x0E22", MAX_PATH, nullptr},                           // Thai
      {L"C:\\Tolvane", 10, nullptr},  // ten bytes and the terminator do not fit in ten
      {L"C:\\Tolvane", 11, "C:\\Tolvane"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    char buffer[MAX_PATH];
    int written = SysWideToAnsi(c.text, buffer, c.size);
    if (c.result) {
      EXPECT_EQ(static_cast<int>(strlen(c.result)), written);
      EXPECT_STREQ(c.result, buffer);
    } else {
      EXPECT_EQ(0, written);
    }
  }
}
