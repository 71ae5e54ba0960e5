// The cleanup plan against the test prefix's real registry: the product's keys and values are
// written at their real places under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER next to decoys,
// and every place is read whole before and after the run. Only what Wine cannot do comes through
// the seam: a version query that fails or reports the 9x family, denied opens, and Windows'
// merged view of HKEY_CLASSES_ROOT.
#include "registry/registry_cleanup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "registry/purge.h"
#include "registry/registry_tree.h"
#include "support/seam_fixture.h"

namespace {

// The keys the product's entries live in, each read whole by the checks.
enum Place { kSettings, kRunMachine, kRunUser, kClass, kUninstall, kDrivers9x, kServiceStart9x,
             kServicesNt, kUserClass, kOtherMaker, kPlaceCount };
const struct {
  HKEY root;
  const char* path;
  bool ours;  // created and deleted whole by the test; the others belong to Wine's prefix
} kPlaces[kPlaceCount] = {
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Brenlock", true},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", false},
    {HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", false},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}", true},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", false},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\VxD", false},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunServices", false},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services", false},
    // A per-user class key of the product's name, and another maker's keys: never the product's.
    {HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{C19F4B73-6E2A-4D85-B0F7-8E3A1D9C5B26}", true},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Lindqvist", true},
};

// What makes an entry go: the steps under HKEY_LOCAL_MACHINE, the current user's startup value,
// or the step of one Windows family. Decoys never go.
const int kDecoy = 0, kMachine = 1, kUser = 2, kNt = 4, k9x = 8;

struct Item {
  Place place;
  std::string entry;  // as in registry_tree.h, relative to the place
  int goesWith;
};

// The installation with its decoys; otherCase writes the product's names in another case.
std::vector<Item> Installation(bool otherCase = false) {
  auto name = [otherCase](const char* usual, const char* other) {
    return std::string(otherCase ? other : usual);
  };
  const std::string entry = name("{5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A45}",
                                 "{5a7d2e91-3c4b-4f08-9e62-1b8f0c3d7a45}");
  return {
      {kSettings, "Tolvane:InstallDir=C:\\Program Files\\Brenlock\\Tolvane", kDecoy},
      {kSettings, "Tolvane\\" + name("Config", "CONFIG") + ":Level=3", kMachine},
      {kSettings, "Tolvane\\" + name("Config", "CONFIG") + "\\Scan\\Paths:1=C:\\", kMachine},
      {kSettings, "Tolvane\\" + name("Warder", "wARDER") + ":On=1", kMachine},
      {kSettings, "Tolvane\\" + name("Update", "update") + "\\Servers:=update.example", kMachine},
      {kSettings, "Tolvane\\Keep:k=1", kDecoy},
      {kSettings, "Tolvane\\Configs:c=1", kDecoy},
      {kSettings, "Other:o=1", kDecoy},
      {kRunMachine, ":" + name("Tolguard", "TOLGUARD") + "=C:\\Tolvane\\tolguard.exe", kMachine},
      {kRunMachine, ":TolguardTray=C:\\Tolvane\\tray.exe", kDecoy},
      {kRunUser, ":" + name("Tolguard", "tolguard") + "=C:\\Tolvane\\tolguard.exe", kUser},
      {kRunUser, ":Tolguard2=C:\\Tolvane\\other.exe", kDecoy},
      {kClass, name("InProcServer32", "inprocserver32") + ":=C:\\Tolvane\\TolShell.dll", kMachine},
      {kClass, name("InProcServer32", "inprocserver32") + ":ThreadingModel=Both", kDecoy},
      {kClass, ":=Tolvane Shell Extension", kDecoy},
      {kUninstall, entry + ":DisplayName=Tolvane", kMachine},
      {kUninstall, entry + "\\Nested\\Deeper:x=1", kMachine},
      {kUninstall, "{5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A46}:DisplayName=Other", kDecoy},
      {kDrivers9x, name("WaRDer", "WARDER") + ":StaticVxD=warder.vxd", k9x},
      {kDrivers9x, name("WaRDer", "WARDER") + "\\Params:x=1", k9x},
      {kDrivers9x, "WaRDerX:StaticVxD=other.vxd", kDecoy},
      {kServiceStart9x, ":" + name("Warder", "WARDER") + "=C:\\Tolvane\\warder.exe", k9x},
      {kServiceStart9x, ":Warder2=C:\\Tolvane\\other.exe", kDecoy},
      {kServicesNt, name("geltanet", "GELTANET") + ":Start=2", kNt},
      {kServicesNt, name("geltanet", "GELTANET") + "\\Parameters\\Deep:y=2", kNt},
      {kServicesNt, name("geltanet", "GELTANET") + "\\Enum:0=Root\\LEGACY_GELTANET\\0000", kNt},
      {kServicesNt, name("warderctl", "WarderCtl") + ":Start=3", kNt},
      {kServicesNt, name("wardernt", "WARDERNT") + ":Start=1", kNt},
      {kServicesNt, name("wardernt", "WARDERNT") + "\\Security:Security=x", kNt},
      {kServicesNt, name("kelrun32", "Kelrun32") + ":Start=2", kNt},
      {kServicesNt, "kelrun:Start=2", kDecoy},
      {kServicesNt, "geltanet0:Start=2", kDecoy},
  };
}

// The item's entry as seen from place p, which is its own place or one that holds it (the 9x
// drivers key lies below the NT services key).
bool EntryUnder(int p, const Item& item, std::string* entry) {
  std::string outer = kPlaces[p].path, inner = kPlaces[item.place].path;
  if (item.place == p) {
    *entry = item.entry;
    return true;
  }
  if (inner.size() <= outer.size() || inner[outer.size()] != '\\' ||
      lstrcmpiA(inner.substr(0, outer.size()).c_str(), outer.c_str()) ||
      kPlaces[p].root != kPlaces[item.place].root)
    return false;
  *entry = inner.substr(outer.size() + 1) + (item.entry[0] == ':' ? "" : "\\") + item.entry;
  return true;
}

typedef std::vector<std::set<std::string>> Snapshot;  // one tree per place

Snapshot TakeSnapshot() {
  Snapshot snapshot;
  for (const auto& place : kPlaces) snapshot.push_back(ReadTree(place.root, place.path));
  return snapshot;
}

// Checks every place against its state before the run: exactly the entries that go with one of
// goneWith are gone (keys with all below them, values alone), and nothing else has changed.
void ExpectRemoved(const Snapshot& before, const std::vector<Item>& items, int goneWith) {
  Snapshot after = TakeSnapshot();
  for (int p = 0; p < kPlaceCount; ++p) {
    Tree gone, kept;
    for (const Item& item : items) {
      std::string entry;
      if (EntryUnder(p, item, &entry)) (item.goesWith & goneWith ? gone : kept).push_back(entry);
    }
    std::set<std::string> removed, expected, missing, unexpected;
    std::set<std::string> goneLines = Expand(gone), keptLines = Expand(kept);
    std::set_difference(goneLines.begin(), goneLines.end(), keptLines.begin(), keptLines.end(),
                        std::inserter(removed, removed.end()));
    std::set_difference(before[p].begin(), before[p].end(), removed.begin(), removed.end(),
                        std::inserter(expected, expected.end()));
    std::set_difference(expected.begin(), expected.end(), after[p].begin(), after[p].end(),
                        std::inserter(missing, missing.end()));
    std::set_difference(after[p].begin(), after[p].end(), expected.begin(), expected.end(),
                        std::inserter(unexpected, unexpected.end()));
    EXPECT_TRUE(missing.empty() && unexpected.empty())
        << "under " << kPlaces[p].path << "\nmissing:" << Lines(missing)
        << "\nunexpected:" << Lines(unexpected);
  }
}

#define EXPECT_REMOVED(before, items, goneWith) \
  do {                                          \
    SCOPED_TRACE("removal checked here");       \
    ExpectRemoved(before, items, goneWith);     \
  } while (0)

class Plan : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    Uninstall();
    VersionSizes().clear();
    Handles() = {0, 0};
  }
  void TearDown() override {
    Uninstall();
    SeamTest::TearDown();
  }

  static void Install(const std::vector<Item>& items) {
    for (const Item& item : items) {
      SCOPED_TRACE(item.entry);
      BuildTree(kPlaces[item.place].root, kPlaces[item.place].path, {item.entry});
    }
  }
  // Removes the installation and its decoys, in any spelling, and leaves Wine's keys alone.
  static void Uninstall() {
    for (const auto& place : kPlaces)
      if (place.ours) DeleteTree(place.root, place.path);
    for (const Item& item : Installation()) {
      const auto& place = kPlaces[item.place];
      std::string key = item.entry.substr(0, item.entry.find_first_of("\\:"));
      if (!key.empty()) {
        DeleteTree(place.root, std::string(place.path) + "\\" + key);
      } else {
        std::string name = item.entry.substr(1, item.entry.find('=') - 1);
        HKEY open;
        if (RegOpenKeyExA(place.root, place.path, 0, KEY_ALL_ACCESS, &open) == ERROR_SUCCESS) {
          RegDeleteValueA(open, name.c_str());
          RegCloseKey(open);
        }
      }
    }
  }

  static std::vector<DWORD>& VersionSizes() {
    static std::vector<DWORD> sizes;
    return sizes;
  }
  // The real version query, with the record sizes it was asked for noted.
  static BOOL RealVersion(OSVERSIONINFOA* version) {
    VersionSizes().push_back(version->dwOSVersionInfoSize);
    return GetVersionExA(version);
  }
  // The real answer, with the platform of the 9x family.
  static BOOL As9x(OSVERSIONINFOA* version) {
    BOOL ok = RealVersion(version);
    version->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    return ok;
  }
  // ntdll without the file calls: the 9x family.
  static FARPROC NoNtCalls(const char*) { return nullptr; }
  static void CountHandles() {
    // The system's keys, opened from a root, only to open the product's keys below them;
    // those are opened with full access.
    g_seam.RegOpenKey = [](HKEY root, const char* path, REGSAM access, HKEY* key) -> LONG {
      bool system = root == HKEY_LOCAL_MACHINE || root == HKEY_CURRENT_USER;
      EXPECT_EQ(static_cast<REGSAM>(system ? KEY_ENUMERATE_SUB_KEYS : KEY_ALL_ACCESS), access)
          << path;
      return CountedOpen(root, path, access, key);
    };
    g_seam.RegOpenKeyItself = [](HKEY root, const char* path, REGSAM access, HKEY* key) -> LONG {
      EXPECT_EQ(static_cast<REGSAM>(KEY_ALL_ACCESS), access) << path;
      return CountedOpenItself(root, path, access, key);
    };
    g_seam.RegCloseKey = CountedClose;
  }
};

// The family is told by ntdll's file calls: where they are (Wine, the whole NT family) the NT
// family's entries go, whatever GetVersionExA reports, and it is not asked; without them (the
// 9x family) GetVersionExA's answer tells the 9x family from neither.
TEST_F(Plan, RemovesTheEntriesOfTheRunningFamily) {
  const auto calls = nullptr;  // ntdll as Wine has it: every file call there
  struct Case {
    const char* name;
    FARPROC (*ntdll)(const char*);
    BOOL (*version)(OSVERSIONINFOA*);
    bool otherCase;
    int goneWith;
    std::vector<DWORD> sizes;
  } cases[] = {
      {"NT family", calls, RealVersion, false, kMachine | kUser | kNt, {}},
      // "Run this program in compatibility mode for Windows 95/98", or Wine's "win98": the
      // services still go.
      {"compatibility layer answering for the 9x family", calls, As9x, false,
       kMachine | kUser | kNt, {}},
      {"9x family", NoNtCalls, As9x, false, kMachine | kUser | k9x, {156}},
      {"NT family, names in another case", calls, RealVersion, true, kMachine | kUser | kNt, {}},
      {"9x family, names in another case", NoNtCalls, As9x, true, kMachine | kUser | k9x, {156}},
      {"no file calls, yet the NT platform reported", NoNtCalls, RealVersion, false,
       kMachine | kUser, {156}},
      {"extended record refused, basic record 9x", NoNtCalls,
       [](OSVERSIONINFOA* v) -> BOOL {
         return v->dwOSVersionInfoSize == 156 ? (VersionSizes().push_back(156), FALSE) : As9x(v);
       },
       false, kMachine | kUser | k9x, {156, 148}},
      {"version query failing with both records", NoNtCalls,
       [](OSVERSIONINFOA* v) -> BOOL {
         VersionSizes().push_back(v->dwOSVersionInfoSize);
         return FALSE;
       },
       false, kMachine | kUser, {156, 148}},
      {"platform id 0 (Win32s)", NoNtCalls,
       [](OSVERSIONINFOA* v) -> BOOL {
         BOOL ok = RealVersion(v);
         v->dwPlatformId = VER_PLATFORM_WIN32s;
         return ok;
       },
       false, kMachine | kUser, {156}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    std::vector<Item> items = Installation(c.otherCase);
    Install(items);
    Snapshot before = TakeSnapshot();
    CountHandles();
    g_seam.GetNtProc = c.ntdll;
    g_seam.GetVersionEx = c.version;
    RemoveRegistryEntries();
    EXPECT_EQ(c.sizes, VersionSizes());
    RemoveClassValue();
    EXPECT_REMOVED(before, items, c.goneWith);
    EXPECT_EQ(Handles().opens, Handles().closes) << "every handle opened is closed";
    Uninstall();
  }
}

TEST_F(Plan, RemovesTheServicesWhenTheUninstallKeyIsMissing) {
  const char* uninstallKey = kPlaces[kUninstall].path;
  ASSERT_TRUE(ReadTree(HKEY_LOCAL_MACHINE, uninstallKey).empty())
      << "the prefix's uninstall key holds entries of its own";
  std::vector<Item> items = Installation();
  Install(items);
  DeleteTree(HKEY_LOCAL_MACHINE, uninstallKey);
  Snapshot before = TakeSnapshot();
  RemoveRegistryEntries();
  RemoveClassValue();
  EXPECT_REMOVED(before, items, kMachine | kUser | kNt);
  HKEY recreated;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstallKey, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &recreated, nullptr));
  RegCloseKey(recreated);
}

// A user without full access to HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT.
TEST_F(Plan, DeniedOpensLeaveAllButTheUsersStartupValue) {
  std::vector<Item> items = Installation();
  Install(items);
  Snapshot before = TakeSnapshot();
  g_seam.RegOpenKey = [](HKEY root, const char* path, REGSAM access, HKEY* key) -> LONG {
    if (root == HKEY_LOCAL_MACHINE || root == HKEY_CLASSES_ROOT) return ERROR_ACCESS_DENIED;
    return RegOpenKeyExA(root, path, 0, access, key);
  };
  g_seam.RegOpenKeyItself = g_seam.RegOpenKey;
  RemoveRegistryEntries();
  RemoveClassValue();
  EXPECT_REMOVED(before, items, kUser);
}

// Any program the user runs may write a per-user class key of the product's name; on Windows it
// then takes priority in HKEY_CLASSES_ROOT (the stand-in opens as Windows does). The class value
// goes from the machine-wide key only.
TEST_F(Plan, DeletesTheMachineWideClassValueOnly) {
  std::vector<Item> items = Installation();
  items.push_back({kUserClass, "InProcServer32:=C:\\Users\\Public\\other.dll", kDecoy});
  Install(items);
  Snapshot before = TakeSnapshot();
  g_seam.RegOpenKey = OpenMergedClasses;
  g_seam.RegOpenKeyItself = OpenMergedClasses;
  RemoveRegistryEntries();
  RemoveClassValue();
  EXPECT_REMOVED(before, items, kMachine | kUser | kNt);
}

// A named product key that is a link (Update, to another maker's key with subkeys) and a link
// below a service key (to another maker's key with values only, which a deletion by the link's
// name would take), and the class key made a link to another maker's server key, whose default
// value a deletion through the link would take: the links stay, with the keys above them, and
// what they lead to stays whole.
TEST_F(Plan, NeverGoesThroughALink) {
  std::vector<Item> items = Installation();
  auto replaced = [](const Item& item) {
    return item.entry.find("\\Update") != std::string::npos ||
           item.entry.find("InProcServer32") != std::string::npos;
  };
  items.erase(std::remove_if(items.begin(), items.end(), replaced), items.end());
  items.push_back({kOtherMaker, "Server:=C:\\Lindqvist\\server.dll", kDecoy});
  items.push_back({kOtherMaker, "Scanner:On=1", kDecoy});
  items.push_back({kOtherMaker, "Scanner\\Rules:Count=2", kDecoy});
  items.push_back({kOtherMaker, "Shared:Path=C:\\Lindqvist", kDecoy});
  Install(items);
  MakeLink(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brenlock\\Tolvane\\Update", HKEY_LOCAL_MACHINE,
           "SOFTWARE\\Lindqvist\\Scanner");
  MakeLink(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\wardernt\\Link",
           HKEY_LOCAL_MACHINE, "SOFTWARE\\Lindqvist\\Shared");
  MakeLink(HKEY_LOCAL_MACHINE, std::string(kPlaces[kClass].path) + "\\InProcServer32",
           HKEY_LOCAL_MACHINE, "SOFTWARE\\Lindqvist\\Server");
  items.push_back({kSettings, "Tolvane\\Update <link>", kDecoy});
  items.push_back({kServicesNt, "wardernt\\Link <link>", kDecoy});
  items.push_back({kClass, "InProcServer32 <link>", kDecoy});
  Snapshot before = TakeSnapshot();
  CountHandles();
  RemoveRegistryEntries();
  RemoveClassValue();
  EXPECT_REMOVED(before, items, kMachine | kUser | kNt);
  EXPECT_EQ(Handles().opens, Handles().closes) << "every handle opened is closed";
}

// The product's settings key itself a link to another maker's key that has subkeys of the
// settings' names: nothing is opened through it, so they stay whole.
TEST_F(Plan, LeavesTheSettingsKeyThatIsALink) {
  std::vector<Item> items = Installation();
  auto replaced = [](const Item& item) {
    return item.place == kSettings && item.entry.compare(0, 7, "Tolvane") == 0 &&
           (item.entry[7] == ':' || item.entry[7] == '\\');
  };
  items.erase(std::remove_if(items.begin(), items.end(), replaced), items.end());
  for (const char* entry : {"Scanner\\Config:On=1", "Scanner\\Warder:Level=2",
                            "Scanner\\Update\\Feed:Url=x", "Scanner:Version=3"})
    items.push_back({kOtherMaker, entry, kDecoy});
  Install(items);
  DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brenlock\\Tolvane");
  MakeLink(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brenlock\\Tolvane", HKEY_LOCAL_MACHINE,
           "SOFTWARE\\Lindqvist\\Scanner");
  items.push_back({kSettings, "Tolvane <link>", kDecoy});
  Snapshot before = TakeSnapshot();
  CountHandles();
  RemoveRegistryEntries();
  RemoveClassValue();
  EXPECT_REMOVED(before, items, kMachine | kUser | kNt);
  EXPECT_EQ(Handles().opens, Handles().closes) << "every handle opened is closed";
}

TEST_F(Plan, ASecondRunDeletesNothing) {
  std::vector<Item> items = Installation();
  Install(items);
  Snapshot before = TakeSnapshot();
  static std::map<HKEY, std::string> names;  // the name each key was opened by
  names.clear();
  g_seam.RegOpenKeyItself = [](HKEY parent, const char* name, REGSAM access, HKEY* key) -> LONG {
    LONG result = RegOpenKeyExA(parent, name, REG_OPTION_OPEN_LINK, access, key);
    if (result == ERROR_SUCCESS) names[*key] = name;
    return result;
  };
  g_seam.RegDeleteKeyItself = [](HKEY key) -> LONG {
    LONG result = RealDeleteKeyItself(key);
    if (result == ERROR_SUCCESS) Record("key " + names[key]);
    return result;
  };
  g_seam.RegDeleteValue = [](HKEY key, const char* name) -> LONG {
    LONG result = RegDeleteValueA(key, name);
    if (result == ERROR_SUCCESS) Record(std::string("value ") + (name ? name : "(default)"));
    return result;
  };
  RemoveRegistryEntries();
  RemoveClassValue();
  EXPECT_REMOVED(before, items, kMachine | kUser | kNt);
  // The plan's own deletions, in its order, among those the purge makes below them; the class
  // value, the record of the install folder, last.
  const std::vector<std::string> plan = {
      "key Config", "key Warder", "key Update", "value Tolguard", "value Tolguard",
      "key {5A7D2E91-3C4B-4F08-9E62-1B8F0C3D7A45}", "key geltanet", "key warderctl",
      "key wardernt", "key kelrun32", "value (default)"};
  auto next = Calls().begin();
  for (const std::string& step : plan) {
    next = std::find(next, Calls().end(), step);
    ASSERT_NE(Calls().end(), next) << step << " missing or out of order";
  }
  Snapshot afterFirst = TakeSnapshot();
  Calls().clear();
  RemoveRegistryEntries();
  RemoveClassValue();
  EXPECT_EQ(std::vector<std::string>{}, Calls()) << "deleted again";
  EXPECT_REMOVED(afterFirst, items, kDecoy);
}

}  // namespace
