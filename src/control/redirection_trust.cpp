// The uninstaller runs with administrator rights and deletes in folders named by the registry.
// Its own checks follow no link in a folder whose files it deletes; Windows 11's RedirectionGuard
// adds, for junctions a standard user made, a refusal at every open of the process, whatever the
// open.
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
