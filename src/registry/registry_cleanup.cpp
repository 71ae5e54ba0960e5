// The product's registry entries and the fixed order in which they go: settings subkeys, startup
// values, the class key's default value, the uninstall entry, and last the drivers (9x family)
// or services (NT family). Every key deleted is first emptied by the purge; a key that cannot be
// opened skips only what lies below it.
#include "registry/registry_cleanup.h"

#include "platform/family.h"
#include "platform/platform.h"
#include "product/product.h"
#include "registry/purge.h"

// Each key is named by the part Windows gives (links the system made, such as CurrentControlSet,
// followed) and the part that is the product's or the vendor's own, opened name by name as
// itself, never through a link.
const char kSoftwareKey[] = "SOFTWARE";
const char kSettingsKey[] = "Brenlock\\Tolvane";
const char* const kSettingsSubkeys[] = {"Config", "Warder", "Update"};
const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kStartupKey[] = "Run";
const char kStartupValue[] = "Tolguard";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const kUninstallEntry[] = {"{5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A45}"};
const char kDriverKey9x[] = "System\\CurrentControlSet\\Services\\VxD";
const char* const kDriverSubkey9x[] = {"WaRDer"};
const char kServiceStartKey9x[] = "RunServices";  // below kCurrentVersionKey
const char kServiceStartValue9x[] = "Warder";
const char kServicesKeyNt[] = "SYSTEM\\CurrentControlSet\\Services";
const char* const kServiceSubkeysNt[] = {"geltanet", "warderctl", "wardernt", "kelrun32"};

namespace {

// A key of the system's is only the root the product's keys are opened relative to, and
// deleted below (on the 9x family, by their names): it is asked for no more than that.
const REGSAM kSystemKeyAccess = KEY_ENUMERATE_SUB_KEYS;

// Opens own (a path of the product's or the vendor's keys, opened with full access; null for
// none) below the key systemPath of root. Returns 1 when key is open.
int OpenProductKey(HKEY root, const char* systemPath, const char* own, WindowsFamily family,
                   HKEY* key) {
  if (SysRegOpenKey(root, systemPath, kSystemKeyAccess, key) != ERROR_SUCCESS) return 0;
  if (!own) return 1;
  HKEY system = *key;
  int opened = OpenOwnKey(system, own, family, key);
  SysRegCloseKey(system);
  return opened;
}

// Opens own below systemPath of HKEY_LOCAL_MACHINE and removes its subkeys of the count names,
// each emptied first; a link is left alone.
template <int count>
void DeleteSubkeys(const char* systemPath, const char* own, const char* const (&names)[count],
                   WindowsFamily family) {
  HKEY parent;
  if (!OpenProductKey(HKEY_LOCAL_MACHINE, systemPath, own, family, &parent)) return;
  for (const char* name : names) RemoveSubkey(parent, name, family, kMaxPurgeDepth);
  SysRegCloseKey(parent);
}

// Deletes one value (null name: the default value) of the key own below systemPath of root; a
// key that is a registry link is left alone, so that no value of the key it leads to goes.
void DeleteValue(HKEY root, const char* systemPath, const char* own, const char* name,
                 WindowsFamily family) {
  HKEY key;
  if (!OpenProductKey(root, systemPath, own, family, &key)) return;
  SysRegDeleteValue(key, name);
  SysRegCloseKey(key);
}

}  // namespace

void RemoveRegistryEntries() {
  // Which family decides how keys open, and whether drivers or services go.
  WindowsFamily family = GetWindowsFamily();

  // Settings: the subkeys go, the settings key and the company key above it stay.
  DeleteSubkeys(kSoftwareKey, kSettingsKey, kSettingsSubkeys, family);

  // Startup values, for all users and for the current user.
  DeleteValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, kStartupKey, kStartupValue, family);
  DeleteValue(HKEY_CURRENT_USER, kCurrentVersionKey, kStartupKey, kStartupValue, family);

  DeleteSubkeys(kUninstallKey, nullptr, kUninstallEntry, family);

  // Drivers or services, by the Windows family; neither when it is unknown.
  if (family == kFamily9x) {
    DeleteSubkeys(kDriverKey9x, nullptr, kDriverSubkey9x, family);
    DeleteValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, kServiceStartKey9x,
                kServiceStartValue9x, family);
  } else if (family == kFamilyNt) {
    DeleteSubkeys(kServicesKeyNt, nullptr, kServiceSubkeysNt, family);
  }
}

void RemoveClassValue() {
  DeleteValue(HKEY_LOCAL_MACHINE, kClassKey, kClassServerKey, nullptr, GetWindowsFamily());
}
