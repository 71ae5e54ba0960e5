// The product's registry entries and their removal in a fixed order.
#pragma once

// Removes the product's settings subkeys, startup values, class default value, uninstall entry,
// and its driver or service keys for the running Windows family. Best effort, silent.
void RemoveRegistryEntries();
