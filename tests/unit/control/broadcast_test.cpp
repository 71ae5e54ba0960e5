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
    UseSleepClock();
  }
};

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

// The second after the broadcast returned is waited out in full, counted by the performance
// counter and, to within one of its steps, by the tick count: what runs in it takes its time off
// the wait, a Sleep that ends early is followed by another, and a counter that runs backwards or
// jumps ahead (as on some multi-processor machines of Windows XP's time) cannot cut it short.
TEST_F(Broadcast, WaitsOutTheSecondWhateverTheClocksDo) {
  struct Case {
    const char* name;
    DWORD lookupMs, counterJump, shortfall;
    std::vector<std::string> sleeps;
  };
  static const Case* current;
  const Case cases[] = {
      {"nothing in the second", 0, 0, 0, {"sleep 1000"}},
      {"look-ups of 300 ms", 300, 0, 0, {"sleep 700"}},
      {"look-ups longer than the second", 1200, 0, 0, {}},
      {"a Sleep ends 15 ms early", 0, 0, 15, {"sleep 1000", "sleep 15"}},
      {"the counter runs 5 s backwards", 300, static_cast<DWORD>(-5000), 0, {"sleep 684"}},
      {"the counter jumps 2 s ahead", 300, 2000, 0, {"sleep 684"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    current = &c;
    Calls().clear();
    UseSleepClock();
    Clock().shortfall = c.shortfall;
    DWORD ticks = Clock().ticks;
    EXPECT_EQ(1, NotifyComponents(kUninstallNotice, [] {
      Advance(current->lookupMs);
      Clock().counter += current->counterJump;
    }));
    std::vector<std::string> sleeps(Calls().begin() + 1, Calls().end());
    EXPECT_EQ(c.sleeps, sleeps);
    EXPECT_GE(Clock().ticks - ticks + 16, 1000u);
  }
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

// A component that stops responding in the middle of handling the message, after Windows began
// waiting for it: the broadcast gives up on it after a bounded time, and the uninstall goes on
// while it is still stuck. (A window already hung when the broadcast starts is skipped at once,
// and a component that takes seconds to stop is waited for: the end-to-end rows show both.)
HANDLE g_release;
HANDLE g_stuck;

LRESULT CALLBACK StuckProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_receivedMessage) {
    SetEvent(g_stuck);
    WaitForSingleObject(g_release, 60000);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI StuckWindowThread(void* ready) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = StuckProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TolvaneBroadcastTestStuck";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "stuck", WS_OVERLAPPED, 0, 0, 10,
                                10, nullptr, nullptr, windowClass.hInstance, nullptr);
  SetEvent(ready);
  MSG message;
  while (window && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_USER) break;
    DispatchMessageA(&message);
  }
  if (window) DestroyWindow(window);
  UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
  return 0;
}

TEST_F(Broadcast, GivesUpOnAComponentThatStopsRespondingWhileHandlingIt) {
  memset(&g_seam, 0, sizeof(g_seam));  // everything real here
  g_receivedMessage = RegisterWindowMessageA(kMessageName);
  g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_stuck = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD threadId;
  HANDLE thread = CreateThread(nullptr, 0, StuckWindowThread, ready, 0, &threadId);
  ASSERT_NE(nullptr, thread);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 10000));

  DWORD start = GetTickCount();
  EXPECT_EQ(1, NotifyComponents(kUninstallNotice));
  DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_stuck, 0)) << "the window got the message";
  EXPECT_LT(elapsed, 30000u) << "the broadcast waited for the stuck window without end";
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(g_release, 0)) << "it returned while still stuck";

  SetEvent(g_release);
  PostThreadMessageA(threadId, WM_USER, 0, 0);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
  for (HANDLE handle : {thread, ready, g_stuck, g_release}) CloseHandle(handle);
}

}  // namespace
