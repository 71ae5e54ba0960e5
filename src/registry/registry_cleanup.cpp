#include "registry/registry_cleanup.h"

void RemoveRegistryEntries() {}
