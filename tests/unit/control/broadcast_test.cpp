#include "control/broadcast.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/seam_fixture.h"

namespace {

const char kMessageName[] = "_Tolvane BroadCast Message_";

class Broadcast : public SeamTest {
 protected:
  struct Sent {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    UINT flags;
    UINT timeoutMs;
  };
  static std::vector<Sent>& SentMessages() {
    static std::vector<Sent> sent;
    return sent;
  }
  void SetUp() override {
    SeamTest::SetUp();
    SentMessages().clear();
    g_seam.SendMessageTimeout = [](HWND w, UINT m, WPARAM wp, LPARAM lp, UINT flags,
                                   UINT timeoutMs) -> LRESULT {
      SentMessages().push_back({w, m, wp, lp, flags, timeoutMs});
      Record("send");
      return 0;
    };
    g_seam.Sleep = [](DWORD ms) { Record("sleep " + std::to_string(ms)); };
  }
};

TEST_F(Broadcast, RegistersTheProductMessageName) {
  UINT expected = RegisterWindowMessageA(kMessageName);
  ASSERT_NE(0u, expected);
  EXPECT_EQ(expected, GetComponentMessage());
  EXPECT_EQ(expected, GetComponentMessage()) << "the same number on every call";
}

TEST_F(Broadcast, SendsOnceToAllTopLevelWindowsThenWaitsOneSecond) {
  EXPECT_EQ(1, NotifyComponents(kUninstallNotice));
  ASSERT_EQ(1u, SentMessages().size());
  const Sent& sent = SentMessages()[0];
  EXPECT_EQ(HWND_BROADCAST, sent.window);
  EXPECT_EQ(reinterpret_cast<HWND>(0xFFFF), sent.window);
  EXPECT_EQ(RegisterWindowMessageA(kMessageName), sent.message);
  EXPECT_EQ(0u, sent.wParam);
  EXPECT_EQ(1023, sent.lParam);
  EXPECT_EQ((std::vector<std::string>{"send", "sleep 1000"}), Calls());
}

// A window Windows counts as hung is skipped at once; any other window is waited for until it
// has handled the message (a component may take several seconds to stop), but for 20 seconds
// at most, never without end.
TEST_F(Broadcast, SkipsHungWindowsAndBoundsTheWaitForEachWindow) {
  NotifyComponents(kUninstallNotice);
  ASSERT_EQ(1u, SentMessages().size());
  const Sent& sent = SentMessages()[0];
  EXPECT_EQ(static_cast<UINT>(SMTO_ABORTIFHUNG), sent.flags)
      << "hung windows skipped; no SMTO_NOTIMEOUTIFNOTHUNG (unbounded) and no SMTO_BLOCK";
  EXPECT_EQ(20000u, sent.timeoutMs);
}

TEST_F(Broadcast, StillSendsAndWaitsWhenRegistrationFails) {
  g_seam.RegisterWindowMessage = [](const char*) -> UINT { return 0; };
  EXPECT_EQ(1, NotifyComponents(kUninstallNotice));
  ASSERT_EQ(1u, SentMessages().size());
  EXPECT_EQ(0u, SentMessages()[0].message);
  EXPECT_EQ((std::vector<std::string>{"send", "sleep 1000"}), Calls());
}

// Real windows and a real wait: a top-level window of this process receives the broadcast
// before NotifyComponents returns, and the call takes about a second.
LPARAM g_received = -1;
UINT g_receivedMessage;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_receivedMessage && wParam == 0) g_received = lParam;
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(Broadcast, ReachesARunningComponentWindow) {
  memset(&g_seam, 0, sizeof(g_seam));  // everything real here
  g_receivedMessage = RegisterWindowMessageA(kMessageName);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ListenerProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TolvaneBroadcastTestListener";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "listener", WS_OVERLAPPED, 0, 0,
                                10, 10, nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(nullptr, window);

  DWORD start = GetTickCount();
  EXPECT_EQ(1, NotifyComponents(kUninstallNotice));
  DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(1023, g_received);
  EXPECT_GE(elapsed, 950u);
  EXPECT_LT(elapsed, 5000u);
  DestroyWindow(window);
  UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

}  // namespace
