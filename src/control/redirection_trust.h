// Lets Windows itself refuse links that a standard user made, for the whole run.
#pragma once

// Switches on RedirectionGuard where kernel32 has SetProcessMitigationPolicy (Windows 8 and
// later; the policy itself is known from Windows 11 22H2 and Server 2022 with its updates): a
// junction that a user without administrator rights created is then not followed by this
// process. Where the function or the policy is missing, nothing changes. Returns 1 when Windows
// took the policy.
int EnforceRedirectionTrust();
