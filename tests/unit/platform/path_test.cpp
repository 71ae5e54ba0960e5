#include "platform/path.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

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
