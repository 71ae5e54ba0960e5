// The product's registry entries and their removal in a fixed order.
#pragma once

// Removes the product's settings subkeys, startup values, uninstall entry, and its driver or
// service keys for the running Windows family. Best effort, silent.
void RemoveRegistryEntries();

// Removes the class key's default value, machine-wide: the record of the install folder, without
// which the product counts as removed. So it goes last, once none of the product's files stays
// for good. Best effort, silent.
void RemoveClassValue();
