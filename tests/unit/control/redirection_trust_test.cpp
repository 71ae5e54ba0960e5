// RedirectionGuard asked of Windows through SetProcessMitigationPolicy, found through the seam's
// kernel32 lookup: the answer says whether Windows took it, and nothing else is done where the
// function is missing or refuses. (Wine has no RedirectionGuard; what the request does is
// Windows' own.)
#include "control/redirection_trust.h"

#include <gtest/gtest.h>
#include <string.h>

#include "support/seam_fixture.h"

namespace {

struct PolicyCall {
  int calls, policy;
  SIZE_T length;
  DWORD flags;
  BOOL answer;
};
PolicyCall g_call;

BOOL WINAPI RecordPolicy(int policy, void* buffer, SIZE_T length) {
  ++g_call.calls;
  g_call.policy = policy;
  g_call.length = length;
  if (length == sizeof(DWORD)) memcpy(&g_call.flags, buffer, sizeof(DWORD));
  return g_call.answer;
}

class RedirectionTrust : public SeamTest {};

TEST_F(RedirectionTrust, SaysWhetherWindowsTookIt) {
  struct Case {
    const char* name;
    bool hasFunction;
    BOOL answer;
    int result, calls;
  } cases[] = {
      {"Windows 11: taken", true, TRUE, 1, 1},
      {"Windows 8 to 10: the policy is unknown", true, FALSE, 0, 1},
      {"before Windows 8: no function", false, TRUE, 0, 0},
  };
  static bool hasFunction;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_call = PolicyCall{0, 0, 0, 0, c.answer};
    hasFunction = c.hasFunction;
    g_seam.GetKernelProc = [](const char* name) -> FARPROC {
      if (!hasFunction || strcmp(name, "SetProcessMitigationPolicy") != 0) return nullptr;
      return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordPolicy));
    };
    EXPECT_EQ(c.result, EnforceRedirectionTrust());
    EXPECT_EQ(c.calls, g_call.calls);
  }
}

}  // namespace
