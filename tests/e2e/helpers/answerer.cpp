// End-to-end helper: answers the uninstaller's message boxes from a script, as a user would.
// For each step it waits (bounded) for a new box captioned "Uninstall Tolvane", logs its caption
// and text as code-page bytes and as the box holds them in UTF-16 (written as UTF-8), its buttons
// and its icon, and clicks the scripted button. After the
// script it keeps watching until the stop file appears: any further box is logged as unexpected
// and closed, and "done boxes=<n>" tells the harness how many boxes came in all.
//   e2e_answerer <log> <stop file> <box wait ms> <hold ms> [yes|no|ok]...
// <hold ms> is a pause between logging a box and answering it (the demo takes pictures then).
#include "helper_common.h"

#include <string.h>

static const char kCaption[] = "Uninstall Tolvane";

struct Button {
  int id;
  const char* name;
};
static const Button kButtons[] = {{IDOK, "ok"},       {IDCANCEL, "cancel"}, {IDABORT, "abort"},
                                  {IDRETRY, "retry"}, {IDIGNORE, "ignore"}, {IDYES, "yes"},
                                  {IDNO, "no"}};

static HWND FindBox(HWND answered) {
  HWND box = FindWindowA("#32770", kCaption);
  if (!box || box == answered || !IsWindowVisible(box)) return nullptr;
  return box;
}

static HWND g_icon;
static BOOL CALLBACK FindIconControl(HWND child, LPARAM) {
  char className[16] = {};
  GetClassNameA(child, className, sizeof className);
  if (lstrcmpiA(className, "Static") == 0 && IsWindowVisible(child) &&
      (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    g_icon = child;
    return FALSE;
  }
  return TRUE;
}

// Icon handles cannot be read across processes under Wine, so the icon is told by its pixels:
// the box's icon as drawn on screen is compared with each standard icon drawn here on the same
// background, and the closest one wins.
static const char* IdentifyIcon(HWND box) {
  g_icon = nullptr;
  EnumChildWindows(box, FindIconControl, 0);
  if (!g_icon) return "none";
  RECT rect;
  GetWindowRect(g_icon, &rect);
  const int size = 32;
  HDC screen = GetDC(nullptr);
  HDC shot = CreateCompatibleDC(screen);
  HDC drawn = CreateCompatibleDC(screen);
  HBITMAP shotBits = CreateCompatibleBitmap(screen, size, size);
  HBITMAP drawnBits = CreateCompatibleBitmap(screen, size, size);
  HGDIOBJ oldShot = SelectObject(shot, shotBits);
  HGDIOBJ oldDrawn = SelectObject(drawn, drawnBits);
  BitBlt(shot, 0, 0, size, size, screen, rect.left, rect.top, SRCCOPY);
  COLORREF background = GetPixel(shot, 0, 0);

  struct Candidate {
    LPCSTR id;
    const char* name;
  };
  static const Candidate kIcons[] = {{IDI_QUESTION, "question"},
                                     {IDI_INFORMATION, "information"},
                                     {IDI_WARNING, "warning"},
                                     {IDI_ERROR, "error"}};
  const char* best = "unknown";
  unsigned long bestDistance = 0xFFFFFFFFul;
  for (const Candidate& c : kIcons) {
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = {0, 0, size, size};
    FillRect(drawn, &all, brush);
    DeleteObject(brush);
    DrawIconEx(drawn, 0, 0, LoadIconA(nullptr, c.id), size, size, 0, nullptr, DI_NORMAL);
    unsigned long distance = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        COLORREF a = GetPixel(shot, x, y), b = GetPixel(drawn, x, y);
        distance += abs(GetRValue(a) - GetRValue(b)) + abs(GetGValue(a) - GetGValue(b)) +
                    abs(GetBValue(a) - GetBValue(b));
      }
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      best = c.name;
    }
  }
  SelectObject(shot, oldShot);
  SelectObject(drawn, oldDrawn);
  DeleteObject(shotBits);
  DeleteObject(drawnBits);
  DeleteDC(shot);
  DeleteDC(drawn);
  ReleaseDC(nullptr, screen);
  // An exact match differs by nothing; allow a little for anti-aliased edges.
  return bestDistance < 32ul * 32ul * 3ul * 8ul ? best : "unknown";
}

// Logs the box and returns the id of the first of the wanted button, else a button that
// closes it.
// The UTF-16 text as hex of its UTF-8 form.
static void WideToHex(const WCHAR* text, char* out, size_t outSize) {
  char utf8[3 * 1024 + 1] = {};
  if (!WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr)) utf8[0] = 0;
  ToHex(utf8, out, outSize);
}

static int RecordBox(HWND box, const char* kind, int step, const char* wanted,
                     unsigned long long found) {
  char caption[260] = {}, text[1024] = {};
  char captionHex[sizeof caption * 2 + 1], textHex[sizeof text * 2 + 1];
  GetWindowTextA(box, caption, sizeof caption);
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  ToHex(caption, captionHex, sizeof captionHex);
  ToHex(text, textHex, sizeof textHex);
  // Read as UTF-16, whatever the ANSI code page: what the user sees.
  WCHAR wideCaption[260] = {}, wideText[1024] = {};
  char wideCaptionHex[6 * 260 + 1], wideTextHex[6 * 1024 + 1];
  GetWindowTextW(box, wideCaption, 260);
  GetDlgItemTextW(box, 0xFFFF, wideText, 1024);
  WideToHex(wideCaption, wideCaptionHex, sizeof wideCaptionHex);
  WideToHex(wideText, wideTextHex, sizeof wideTextHex);
  char buttons[64] = {};
  int chosen = 0, fallback = 0;
  for (const Button& b : kButtons) {
    HWND control = GetDlgItem(box, b.id);
    if (!control || !IsWindowVisible(control)) continue;
    if (buttons[0]) strcat(buttons, ",");
    strcat(buttons, b.name);
    if (wanted && strcmp(wanted, b.name) == 0) chosen = b.id;
    if (!fallback || b.id == IDNO) fallback = b.id;
  }
  RECT rect;
  GetWindowRect(box, &rect);
  Log("%s step=%d time=%llu found=%llu caption=%s text=%s wcaption=%s wtext=%s buttons=%s "
      "icon=%s rect=%ld,%ld,%ld,%ld",
      kind, step, NowMs(), found, captionHex, textHex, wideCaptionHex, wideTextHex, buttons,
      IdentifyIcon(box), rect.left, rect.top, rect.right, rect.bottom);
  if (wanted && !chosen) Log("error step=%d no button %s", step, wanted);
  return chosen ? chosen : fallback;
}

static void Answer(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
  for (int i = 0; i < 500 && IsWindow(box); ++i) Sleep(10);
  Log("answered id=%d time=%llu closed=%d", id, NowMs(), !IsWindow(box));
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 5) return 2;
  OpenLog(__argv[1]);
  const char* stopFile = __argv[2];
  unsigned long boxWait = strtoul(__argv[3], nullptr, 10);
  DWORD hold = strtoul(__argv[4], nullptr, 10);
  Log("ready");
  HWND answered = nullptr;
  int boxes = 0;
  for (int step = 0; 5 + step < __argc; ++step) {
    unsigned long long deadline = NowMs() + boxWait;
    HWND box = nullptr;
    while (!(box = FindBox(answered)) && NowMs() < deadline) Sleep(5);
    if (!box) {
      Log("timeout step=%d waited=%lu", step, boxWait);
      break;
    }
    unsigned long long found = NowMs();  // within 5 ms of its appearance
    Sleep(300);  // let it finish painting
    ++boxes;
    int id = RecordBox(box, "box", step, __argv[5 + step], found);
    Sleep(hold);
    Answer(box, id);
    answered = box;
  }
  // Watches until told to stop, ten minutes at most, so that it never outlives a killed harness.
  unsigned long long watchEnd = NowMs() + 10ull * 60 * 1000;
  while (!StopRequested(stopFile) && NowMs() < watchEnd) {
    HWND box = FindBox(answered);
    if (box) {
      unsigned long long found = NowMs();
      Sleep(300);
      ++boxes;
      Answer(box, RecordBox(box, "unexpected", -1, nullptr, found));
      answered = box;
    }
    Sleep(20);
  }
  Log("done boxes=%d", boxes);
  return 0;
}
