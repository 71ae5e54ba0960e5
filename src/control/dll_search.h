// Where Windows may look for the DLLs it loads by name on the program's behalf.
#pragma once

// Takes the program's own folder (and the current folder) out of the search for DLLs loaded by
// name, as far as the running Windows allows. Call it first, before anything that could load a
// library. Does nothing on the 9x family.
void RestrictDllSearch();
