#include "files/files.h"

void RemoveInstallFiles() {}

void RemoveShellItems() {}
