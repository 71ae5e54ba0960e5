// The uninstaller runs with administrator rights and deletes in folders named by the registry.
// The program's own checks follow only links that an administrator made; Windows 11's
// RedirectionGuard adds the same rule for junctions at every open, including those made after
// the checks.
#include "control/redirection_trust.h"

#include "platform/platform.h"

namespace {

// PROCESS_MITIGATION_POLICY ProcessRedirectionTrustPolicy, and the first flag of its record,
// PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY.EnforceRedirectionTrust (AuditRedirectionTrust,
// the second, only logs).
const int kRedirectionTrustPolicy = 16;
const DWORD kEnforceRedirectionTrust = 0x1;

typedef BOOL(WINAPI* SetPolicyCall)(int policy, void* buffer, SIZE_T length);

}  // namespace

int EnforceRedirectionTrust() {
  SetPolicyCall setPolicy = reinterpret_cast<SetPolicyCall>(
      reinterpret_cast<void*>(SysGetKernelProc("SetProcessMitigationPolicy")));
  if (!setPolicy) return 0;
  DWORD flags = kEnforceRedirectionTrust;
  return setPolicy(kRedirectionTrustPolicy, &flags, sizeof(flags)) ? 1 : 0;
}
