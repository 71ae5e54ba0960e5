#include "control/message.h"

#include "platform/platform.h"

namespace {

const UINT kKoreanCodePage = 949;
// Characters of a converted text or caption, terminator included; the longest text, the
// completion message, has 43. A text that does not fit is shown as bytes, never cut short.
const int kMessageChars = 128;

}  // namespace

int ShowMessage(const char* text, const char* caption, UINT style) {
  if (SysGetAnsiCodePage() != kKoreanCodePage) {
    WCHAR wideText[kMessageChars], wideCaption[kMessageChars];
    if (SysCodePageToWide(kKoreanCodePage, text, wideText, kMessageChars) &&
        SysCodePageToWide(kKoreanCodePage, caption, wideCaption, kMessageChars))
      return SysMessageBoxWide(nullptr, wideText, wideCaption, style);
  }
  return SysMessageBox(nullptr, text, caption, style);
}
