// The product's registry entries and the fixed order in which they go: settings subkeys, startup
// values, the class key's default value, the uninstall entry, and last the drivers (9x family)
// or services (NT family). Every key deleted is first emptied by the purge, with g_purgeRoot at
// HKEY_LOCAL_MACHINE; a key that cannot be opened skips only what lies below it.
#include "registry/registry_cleanup.h"

#include <string.h>

#include "control/install_location.h"
#include "platform/family.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "registry/purge.h"

const char kSettingsKey[] = "SOFTWARE\\Brenlock\\Tolvane";
const char kSettingsSubkeys[][8] = {"Config", "Warder", "Update"};
const char kStartupKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kStartupValue[] = "Tolguard";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kUninstallEntry[] = "{5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A45}";
const char kDriverKey9x[] = "System\\CurrentControlSet\\Services\\VxD";
const char kDriverSubkey9x[] = "WaRDer";
const char kServiceStartKey9x[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kServiceStartValue9x[] = "Warder";
const char kServicesKeyNt[] = "SYSTEM\\CurrentControlSet\\Services";
const char kServiceSubkeysNt[][10] = {"geltanet", "warderctl", "wardernt", "kelrun32"};

const int kKeyNameSize = 255;
typedef char KeyNameSlot[kKeyNameSize];

static void SetSlot(KeyNameSlot slot, const char* name) {
  FormatPath(slot, kKeyNameSize, "%s", name);
}

// Opens parentPath under g_purgeRoot and, for each of the first count slots, purges the subkey
// of that name and deletes it (a link is left alone). keyPath is the 255-byte buffer the purge
// path is formed in.
static void DeleteSubkeys(const char* parentPath, const KeyNameSlot* names, int count,
                          char* keyPath) {
  HKEY parent;
  if (SysRegOpenKey(g_purgeRoot, parentPath, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS) return;
  for (int i = 0; i < count; ++i)
    RemoveSubkey(parent, parentPath, names[i], keyPath, kKeyNameSize);
  SysRegCloseKey(parent);
}

// Deletes one value (null name: the default value) of the key at keyPath under g_purgeRoot; a key
// that is a registry link is left alone, so that no value of the key it leads to goes. Returns 0
// when the key does not open.
static int DeleteValue(const char* keyPath, const char* name) {
  HKEY key;
  if (!OpenOwnKey(keyPath, &key)) return 0;
  SysRegDeleteValue(key, name);
  SysRegCloseKey(key);
  return 1;
}

void RemoveRegistryEntries() {
  KeyNameSlot slots[4];
  memset(slots, 0, sizeof(slots));
  for (int i = 0; i < 3; ++i) SetSlot(slots[i], kSettingsSubkeys[i]);
  char keyPath[kKeyNameSize];
  memset(keyPath, 0, sizeof(keyPath));

  // Which family decides how keys open, and whether drivers or services go.
  WindowsFamily family = GetWindowsFamily();
  g_purgeFamily = family;

  // Settings: the subkeys go, the settings key and the company key above it stay.
  g_purgeRoot = HKEY_LOCAL_MACHINE;
  DeleteSubkeys(kSettingsKey, slots, 3, keyPath);

  // Startup values, for all users and for the current user.
  DeleteValue(kStartupKey, kStartupValue);
  g_purgeRoot = HKEY_CURRENT_USER;
  DeleteValue(kStartupKey, kStartupValue);

  // The class key's default value, machine-wide: without it the product counts as removed.
  g_purgeRoot = HKEY_LOCAL_MACHINE;
  DeleteValue(kClassKeyPath, nullptr);

  SetSlot(slots[0], kUninstallEntry);
  DeleteSubkeys(kUninstallKey, slots, 1, keyPath);

  // Drivers or services, by the Windows family; neither when it is unknown.
  if (family == kFamily9x) {
    SetSlot(slots[0], kDriverSubkey9x);
    DeleteSubkeys(kDriverKey9x, slots, 1, keyPath);
    DeleteValue(kServiceStartKey9x, kServiceStartValue9x);
  } else if (family == kFamilyNt) {
    for (int i = 0; i < 4; ++i) SetSlot(slots[i], kServiceSubkeysNt[i]);
    DeleteSubkeys(kServicesKeyNt, slots, 4, keyPath);
  }
}
