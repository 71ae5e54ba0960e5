// The message boxes on systems of any ANSI code page. The test process's code page is Korean
// (949); another code page, and a system without code page 949, come through the seam. The
// conversion is Wine's own; the boxes are stood in for and record what they were given.
#include "control/message.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "control/uninstall.h"
#include "support/seam_fixture.h"

namespace {

// The UTF-8 text as UTF-16, converted by Windows itself.
std::wstring Wide(const char* utf8) {
  wchar_t wide[512];
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
  return n > 0 ? std::wstring(wide, n - 1) : L"<conversion failed>";
}

class Message : public SeamTest {
 protected:
  struct Shown {
    std::string how;  // "A" or "W"
    std::string text, caption;
    std::wstring wideText, wideCaption;
    UINT style;
  };
  static std::vector<Shown>& Boxes() {
    static std::vector<Shown> boxes;
    return boxes;
  }
  static UINT& CodePage() {
    static UINT codePage;
    return codePage;
  }
  void SetUp() override {
    SeamTest::SetUp();
    Boxes().clear();
    CodePage() = 1252;
    g_seam.GetAnsiCodePage = [] { return CodePage(); };
    g_seam.MessageBox = [](HWND owner, const char* text, const char* caption, UINT style) {
      EXPECT_EQ(nullptr, owner);
      Boxes().push_back({"A", text, caption, L"", L"", style});
      return IDYES;
    };
    g_seam.MessageBoxWide = [](HWND owner, const WCHAR* text, const WCHAR* caption, UINT style) {
      EXPECT_EQ(nullptr, owner);
      Boxes().push_back({"W", "", "", text, caption, style});
      return IDNO;
    };
  }
};

TEST_F(Message, KoreanTextsShowAsUtf16WhereTheCodePageIsAnother) {
  struct Case {
    const char* text;
    const char* korean;
    UINT style;
  } cases[] = {
      {kAlreadyRemovedText, u8"이미 톨바네가 제거 되었습니다.", MB_OK | MB_ICONINFORMATION},
      {kConfirmText, u8"톨바네를 제거하시겠습니까?", MB_YESNO | MB_ICONQUESTION},
      {kCompletedText,
       u8"톨바네가 제거되었습니다.\n톨바네를 새로 설치하시려면 컴퓨터를 재시작 하십시오.",
       MB_OK | MB_ICONINFORMATION},
      {kRightsText, u8"톨바네를 제거하려면 관리자 권한이 필요합니다.", MB_OK | MB_ICONERROR},
  };
  for (UINT codePage : {1252u, 932u, 65001u}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(codePage) + " " + c.korean);
      Boxes().clear();
      CodePage() = codePage;
      EXPECT_EQ(IDNO, ShowMessage(c.text, kCaption, c.style)) << "the W box's answer";
      ASSERT_EQ(1u, Boxes().size());
      EXPECT_EQ("W", Boxes()[0].how);
      EXPECT_EQ(Wide(c.korean), Boxes()[0].wideText);
      EXPECT_EQ(L"Uninstall Tolvane", Boxes()[0].wideCaption);
      EXPECT_EQ(c.style, Boxes()[0].style);
    }
  }
}

TEST_F(Message, BytesAsTheyAreWhereTheCodePageIsKoreanOrCannotBeConverted) {
  struct Case {
    const char* name;
    UINT codePage;
    int (*convert)(UINT, const char*, WCHAR*, int);
  } cases[] = {
      {"code page 949", 949, nullptr},
      {"code page 949 not installed", 1252,
       [](UINT, const char*, WCHAR*, int) {
         SetLastError(ERROR_INVALID_PARAMETER);
         return 0;
       }},
      // A caption that cannot be converted: the text alone is not shown in UTF-16.
      {"caption not converted", 1252,
       [](UINT codePage, const char* text, WCHAR* buffer, int size) {
         return strcmp(text, kCaption) == 0
                    ? 0
                    : MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, -1, buffer, size);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Boxes().clear();
    CodePage() = c.codePage;
    g_seam.CodePageToWide = c.convert;
    EXPECT_EQ(IDYES, ShowMessage(kConfirmText, kCaption, MB_YESNO | MB_ICONQUESTION));
    ASSERT_EQ(1u, Boxes().size());
    EXPECT_EQ("A", Boxes()[0].how);
    EXPECT_EQ(std::string(kConfirmText), Boxes()[0].text);
    EXPECT_EQ("Uninstall Tolvane", Boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), Boxes()[0].style);
  }
}

// Bytes that are no text of code page 949 are refused, not shown as something else, and a text
// longer than the buffer is never cut short: both are shown as bytes.
TEST_F(Message, TextsThatDoNotConvertWholeAreShownAsBytes) {
  const std::string tooLong(200, 'a');
  for (const char* text : {"\xC5\xE7\xB9", "\xFF\xFF", tooLong.c_str()}) {
    SCOPED_TRACE(text);
    Boxes().clear();
    ShowMessage(text, kCaption, MB_OK);
    ASSERT_EQ(1u, Boxes().size());
    EXPECT_EQ("A", Boxes()[0].how);
    EXPECT_EQ(std::string(text), Boxes()[0].text);
  }
}

}  // namespace
