// Host stand-ins for the Windows calls the text functions make, following code page 949 as
// Wine has it (cp949_table.py), and a way for the harness to make the lowering misbehave.
#pragma once

enum LowerMode {
  kLowerLikeWine,   // CharLowerBuffA as Wine does it
  kLowerFails,      // returns 0 and changes nothing, as when Windows cannot convert
  kLowerShortens,   // lowers, then reports one byte fewer than it was given
};

extern LowerMode g_lowerMode;
