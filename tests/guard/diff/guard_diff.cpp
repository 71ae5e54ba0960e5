// The guard against Windows' own resolution of the same texts, under Wine. Generated texts go
// through the guard as the uninstaller applies it (the text judged, then, once the folder
// exists, the long form of every name on its path judged again) and through Windows
// (GetFullPathNameA and GetFullPathNameW, GetLongPathNameW where the folder exists, and the
// final path of the folder, or of the deepest folder on the path that exists, which expands 8.3
// names and follows links). A prepared tree holds folders the guard is told to guard beside the
// system's, with look-alikes of them.
//
// A fault is a text the guard accepts where
//   - its canonical form is not the folder GetFullPathNameA/W resolves the text to,
//   - the long form the guard judged is not GetLongPathNameW's, or not where Windows' final
//     path lands, or
//   - Windows lands on a root, a share, in or on a sealed folder, on a guarded folder, or on a
//     folder around one;
// and a plain entry name (IsPlainEntryName) that Windows resolves outside its folder. A text
// the guard refuses while Windows lands elsewhere is a deliberate refusal: counted by reason,
// with examples.
//   guard_diff.exe [--seed N] [--per-kind N] [--show N]
#include <windows.h>

#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "../../unit/support/remove_tree.h"
#include "../generator.h"
#include "files/folder_guard.h"
#include "files/path_text.h"
#include "files/real_folder.h"

namespace {

const char kTree[] = "C:\\tolvane_guard_diff";

// Folders of the tree, and which of them are guarded.
struct TreeFolder {
  const char* path;  // below kTree, code page 949
  enum { kPlain, kSealed, kWellKnown, kSealedAbove } role;
};
const TreeFolder kTreeFolders[] = {
    {"Sealed Windows Folder", TreeFolder::kSealed},
    {"Sealed Windows Folder\\System Files", TreeFolder::kPlain},
    {"Sealed Windows Folder2", TreeFolder::kPlain},
    {"Sealed Windows Folder.old", TreeFolder::kPlain},
    {"Sealed Windows Folde", TreeFolder::kPlain},
    {"All Profiles", TreeFolder::kPlain},
    {"All Profiles\\kim", TreeFolder::kSealedAbove},  // its parent is sealed, itself well-known
    {"All Profiles\\kim\\\xB9\xD9\xC5\xC1\x20\xC8\xAD\xB8\xE9", TreeFolder::kWellKnown},
    {"All Profiles\\kim\\Tolvane", TreeFolder::kPlain},
    {"All Profiles\\alice", TreeFolder::kPlain},
    {"All Profiles2", TreeFolder::kPlain},
    {"All Profiles2\\kim", TreeFolder::kPlain},
    {"Program Files Here", TreeFolder::kWellKnown},
    {"Program Files Here\\Common Files", TreeFolder::kWellKnown},
    {"Program Files Here\\Brenlock", TreeFolder::kPlain},
    {"Program Files Here\\Brenlock\\Tolvane", TreeFolder::kPlain},
    {"Program Files Here (x86)", TreeFolder::kPlain},
    {"Program Files Here (x86)\\Brenlock", TreeFolder::kPlain},
    {"Program Files Here (x86)\\Brenlock\\Tolvane", TreeFolder::kPlain},
    {"\xA5\xC5\xA5\xEB\xA5\xE5\xA5\xED\xA5\xE7", TreeFolder::kWellKnown},  // Greek
    {"\xA5\xE5\xA5\xEB\xA5\xE5\xA5\xED\xA5\xE7"
     "2",
     TreeFolder::kPlain},
    {"\xB5\xA5\xC0\xCC\xC5\xCD", TreeFolder::kPlain},
    {"\xB5\xA5\xC0\xCC\xC5\xCD\\\x81\x61", TreeFolder::kWellKnown},  // trail byte 'a'
    {"\xB5\xA5\xC0\xCC\xC5\xCD\\\x81\x41", TreeFolder::kPlain},      // trail byte 'A'
    {"Tolvane", TreeFolder::kPlain},
    {"names", TreeFolder::kPlain},
};

// Characters that look like \ / . or :, as a name or a registry value may hold them in UTF-16.
const WCHAR kLookAlikes[] = {
    0x20A9, 0xFFE6, 0xFF3C, 0x2216, 0x29F5, 0xFE68, 0x29F9,  // won signs, reverse solidi
    0x2215, 0x2044, 0xFF0F, 0x29F8, 0x2571, 0x01C0,          // solidi
    0x2024, 0xFF0E, 0xFE52, 0x3002, 0x2027, 0x00B7, 0x0589,  // full stops, dots
    0xFF1A, 0xFE55, 0xA789, 0x2236, 0x02D0, 0x0703,          // colons
};

std::wstring Wide(const std::string& ansi) {
  if (ansi.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
  return wide;
}

std::string Ansi(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string ansi(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0], n, nullptr,
                      nullptr);
  return ansi;
}

// The text with bytes outside printable ASCII as \xNN, for the report.
std::string Show(const std::string& text) {
  std::string shown;
  char hex[8];
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      shown += static_cast<char>(c);
    } else if (c == '\\') {
      shown += "\\";
    } else {
      snprintf(hex, sizeof(hex), "\\x%02X", c);
      shown += hex;
    }
  }
  return shown.size() > 300
             ? shown.substr(0, 300) + "... (" + std::to_string(text.size()) + " bytes)"
             : shown;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Whether inner is outer or lies in it, compared as the file system compares names.
bool AtOrInside(const std::wstring& inner, const std::wstring& outer) {
  if (outer.empty() || inner.size() < outer.size()) return false;
  if (CompareStringOrdinal(inner.c_str(), static_cast<int>(outer.size()), outer.c_str(),
                           static_cast<int>(outer.size()), TRUE) != CSTR_EQUAL)
    return false;
  return inner.size() == outer.size() || inner[outer.size()] == L'\\' || outer.back() == L'\\';
}

bool IsDrivePath(const std::wstring& path) {
  return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// Without a trailing backslash, except a drive's root ("C:\").
std::wstring Trimmed(std::wstring path) {
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

bool FullPathW(const std::wstring& text, std::wstring* full) {
  static WCHAR buffer[32768];
  DWORD n = GetFullPathNameW(text.c_str(), 32768, buffer, nullptr);
  if (n == 0 || n >= 32768) return false;
  *full = buffer;
  return true;
}

bool FullPathA(const std::string& text, std::string* full) {
  char buffer[MAX_PATH * 2];
  if (text.size() >= MAX_PATH) return false;
  DWORD n = GetFullPathNameA(text.c_str(), sizeof(buffer), buffer, nullptr);
  if (n == 0 || n >= sizeof(buffer)) return false;
  *full = buffer;
  return true;
}

// GetLongPathNameW of an existing path: every 8.3 name expanded, links not followed.
bool LongPath(const std::wstring& path, std::wstring* longPath) {
  static WCHAR buffer[32768];
  DWORD n = GetLongPathNameW(path.c_str(), buffer, 32768);
  if (n == 0 || n >= 32768) return false;
  *longPath = Trimmed(buffer);
  return true;
}

// The final path of an existing file or folder, plain ("C:\..." or "\\server\share\...").
bool FinalPath(const std::wstring& path, std::wstring* final) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  static WCHAR buffer[32768];
  DWORD n = GetFinalPathNameByHandleW(file, buffer, 32768, 0);
  CloseHandle(file);
  if (n == 0 || n >= 32768) return false;
  std::wstring result = buffer;
  if (result.compare(0, 8, L"\\\\?\\UNC\\") == 0)
    result = L"\\" + result.substr(7);
  else if (result.compare(0, 4, L"\\\\?\\") == 0)
    result = result.substr(4);
  *final = Trimmed(result);
  return true;
}

// Where a full path lands: the final path of the deepest existing folder on it, and the rest.
// *exists: the whole path exists.
std::wstring Landing(const std::wstring& full, bool* exists) {
  std::wstring path = Trimmed(full), rest;
  *exists = false;
  for (;;) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      std::wstring final;
      *exists = rest.empty();
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || !FinalPath(path, &final)) final = path;
      // A root's final path ends in its backslash.
      if (!final.empty() && final.back() == L'\\' && !rest.empty()) final.pop_back();
      return final + rest;
    }
    size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos || cut < 2 || path.size() <= 3) return full;
    rest = path.substr(cut) + rest;
    path = path.substr(0, cut);
    if (path.size() == 2 && path[1] == L':') path += L'\\';
  }
}

enum LandingKind { kNowhere, kDevice, kShare, kRoot, kSealed, kWellKnown, kElsewhere };
const char* const kLandingNames[] = {"nowhere",  "a device",        "a share",
                                     "a root",   "a sealed folder", "a well-known folder",
                                     "elsewhere"};

struct Guarded {
  GuardedFolders folders;
  std::vector<std::wstring> sealed, wellKnown;  // where Windows resolves each
};

LandingKind Classify(const std::wstring& landing, const Guarded& guarded) {
  if (landing.compare(0, 2, L"\\\\") == 0) return kShare;
  if (!IsDrivePath(landing)) return kDevice;
  if (landing.size() == 3) return kRoot;
  for (const std::wstring& sealed : guarded.sealed)
    if (AtOrInside(landing, sealed) || AtOrInside(sealed, landing)) return kSealed;
  for (const std::wstring& known : guarded.wellKnown)
    if (AtOrInside(known, landing)) return kWellKnown;
  return kElsewhere;
}

// Where Windows takes a text: its full path (GetFullPathNameW), then its landing. A device path
// to a drive ("\\?\C:\...", "\\.\C:\...") lands where its drive path does.
struct WindowsView {
  bool resolved = false;
  std::wstring full, landing;
  bool exists = false;
  LandingKind kind = kNowhere;
};

WindowsView ResolveLikeWindows(const std::wstring& text, const Guarded& guarded) {
  WindowsView view;
  if (!FullPathW(text, &view.full)) return view;
  view.resolved = true;
  std::wstring path = view.full;
  if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\\\.\\") == 0) {
    std::wstring rest = path.substr(4);
    if (IsDrivePath(rest) || (rest.size() == 2 && rest[1] == L':')) {
      path = rest.size() == 2 ? rest + L"\\" : rest;
    } else if (rest.compare(0, 4, L"UNC\\") == 0) {
      view.kind = kShare;
      view.landing = path;
      return view;
    } else {
      view.kind = kDevice;
      view.landing = path;
      return view;
    }
  }
  if (path.compare(0, 2, L"\\\\") == 0) {
    view.kind = kShare;
    view.landing = path;
    return view;
  }
  view.landing = Landing(path, &view.exists);
  view.kind = Classify(view.landing, guarded);
  return view;
}

// The guard as the uninstaller applies it: the text judged; the folder on a local drive; then,
// once it exists, every name on its path walked as Windows lists it, no link on the way, the
// folder's final path that long form, and the long form judged. For a folder that does not
// exist, the names that do are walked and proven, and the rest taken as written.
const char* const kVerdictNames[] = {"accepted",   "relative", "root", "malformed",
                                     "well-known", "sealed",   "share"};

struct GuardView {
  bool accepted = false;
  std::string stage;  // why it refused
  std::string canonical, longForm;
};

GuardView ApplyGuard(const std::string& text, const Guarded& guarded) {
  GuardView view;
  FolderVerdict verdict = JudgeInstallFolder(text.c_str(), &guarded.folders);
  if (verdict != kFolderAccepted) {
    view.stage = std::string("text judged ") + kVerdictNames[verdict];
    return view;
  }
  PathBuffer canonical;
  Canonicalize(text.c_str(), canonical, sizeof(canonical));
  view.canonical = canonical;
  char root[] = {canonical[0], ':', '\\', 0};
  UINT type = GetDriveTypeA(root);
  if (type == DRIVE_REMOTE || type == DRIVE_NO_ROOT_DIR) {
    view.stage = "not a local drive";
    return view;
  }
  std::string longForm = view.canonical.substr(0, 2), rest;
  size_t at = 2;
  while (at < view.canonical.size()) {
    size_t next = view.canonical.find('\\', at + 1);
    if (next == std::string::npos) next = view.canonical.size();
    std::string prefix = view.canonical.substr(0, next);
    if (GetFileAttributesA(prefix.c_str()) == INVALID_FILE_ATTRIBUTES) {
      rest = view.canonical.substr(at);
      break;
    }
    PathBuffer found;
    if (!FindLongForm(prefix.c_str(), found)) {
      view.stage = "walk refused (a link, a file or an unusable name on the path)";
      return view;
    }
    longForm = found;
    at = next;
  }
  if (longForm.size() > 2) {
    std::wstring final;
    if (!FinalPath(Wide(longForm), &final) || final != Wide(longForm)) {
      view.stage = "final path is not the long form";
      return view;
    }
  }
  view.longForm = longForm + rest;
  FolderVerdict judged = JudgeInstallFolder(view.longForm.c_str(), &guarded.folders);
  if (judged != kFolderAccepted) {
    view.stage = std::string("long form judged ") + kVerdictNames[judged];
    return view;
  }
  view.accepted = true;
  return view;
}

void MakeFolder(const std::string& path) {
  if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    fprintf(stderr, "guard_diff: cannot make %s\n", Show(path).c_str());
    exit(2);
  }
}

void Add(PathBuffer* list, int* count, int capacity, const std::string& folder) {
  if (*count >= capacity || folder.size() >= MAX_PATH) {
    fprintf(stderr, "guard_diff: no room for the guarded folder %s\n", Show(folder).c_str());
    exit(2);
  }
  strcpy(list[(*count)++], folder.c_str());
}

// Where Windows resolves each guarded folder; relative ones name none.
void ResolveGuarded(const PathBuffer* list, int count, std::vector<std::wstring>* resolved) {
  for (int i = 0; i < count; ++i) {
    std::wstring full;
    bool exists;
    std::string text = list[i];
    bool absolute = (text.size() >= 3 && text[1] == ':' && (text[2] == '\\' || text[2] == '/')) ||
                    text.compare(0, 2, "\\\\") == 0;
    if (!absolute || !FullPathW(Wide(text), &full)) continue;
    resolved->push_back(Trimmed(Landing(full, &exists)));
  }
}

struct Tally {
  long texts = 0, accepted = 0, refusedGuarded = 0, deliberate = 0, faults = 0, nowhere = 0;
};

struct Report {
  int show;
  std::map<std::string, long> deliberate;  // reason -> count
  std::map<std::string, std::vector<std::string>> examples;
  long faults = 0;
  void Fault(const std::string& what, const std::string& detail) {
    ++faults;
    auto& list = examples["FAULT " + what];
    if (static_cast<int>(list.size()) < show) list.push_back(detail);
  }
  void Deliberate(const std::string& reason, const std::string& detail) {
    ++deliberate[reason];
    auto& list = examples["refused, Windows lands elsewhere: " + reason];
    if (list.size() < 3) list.push_back(detail);
  }
};

// A plain entry name joined to a folder must name an entry of that folder.
void CheckEntryName(const std::string& name, const std::string& folder, Report* report) {
  if (!IsPlainEntryName(name.c_str())) return;
  std::wstring full;
  std::wstring wideFolder = Wide(folder);
  if (!FullPathW(wideFolder + L"\\" + Wide(name), &full)) return;
  bool inFolder = full.size() > wideFolder.size() + 1 && AtOrInside(full, wideFolder) &&
                  full[wideFolder.size()] == L'\\' &&
                  full.find(L'\\', wideFolder.size() + 1) == std::wstring::npos;
  if (!inFolder)
    report->Fault("a plain entry name leads out of its folder",
                  Show(name) + " -> " + Show(Ansi(full)));
}

// Files whose UTF-16 names hold the look-alikes, listed through the ANSI code page as the 9x
// family's deletion lists them.
void CheckLookAlikeEntries(Report* report, int* checked) {
  std::string folder = std::string(kTree) + "\\names";
  std::wstring wideFolder = L"\\\\?\\" + Wide(folder);
  for (WCHAR c : kLookAlikes) {
    for (std::wstring name : {std::wstring(L"a") + c + L"b", std::wstring(L"..") + c + L"..",
                              std::wstring(1, c) + c, std::wstring(L"x") + c}) {
      HANDLE file = CreateFileW((wideFolder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    ++*checked;
    CheckEntryName(found.cFileName, folder, report);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = 34;
  long perKind = 1000;
  int show = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--seed"))
      seed = strtoull(argv[i + 1], nullptr, 0);
    else if (!strcmp(argv[i], "--per-kind"))
      perKind = strtol(argv[i + 1], nullptr, 0);
    else if (!strcmp(argv[i], "--show"))
      show = atoi(argv[i + 1]);
    else {
      fprintf(stderr, "usage: guard_diff [--seed N] [--per-kind N] [--show N]\n");
      return 2;
    }
  }
  if (GetACP() != 949) {
    fprintf(stderr, "guard_diff: the ANSI code page is %u, not 949\n", GetACP());
    return 2;
  }

  // The tree, made anew.
  RemoveTree(L"\\\\?\\" + Wide(kTree));
  MakeFolder(kTree);
  Guarded guarded;
  if (!CollectGuardedFolders(&guarded.folders)) {
    fprintf(stderr, "guard_diff: the system's folders could not be collected\n");
    return 2;
  }
  GuardedFolders& folders = guarded.folders;
  Vocabulary vocabulary;
  for (int i = 0; i < folders.sealedCount; ++i) vocabulary.folders.push_back(folders.sealed[i]);
  for (int i = 0; i < folders.wellKnownCount; ++i)
    vocabulary.folders.push_back(folders.wellKnown[i]);
  for (const TreeFolder& entry : kTreeFolders) {
    std::string path = std::string(kTree) + "\\" + entry.path;
    MakeFolder(path);
    vocabulary.folders.push_back(path);
    if (entry.role == TreeFolder::kSealed)
      Add(folders.sealed, &folders.sealedCount, kMaxSealedFolders, path);
    if (entry.role == TreeFolder::kSealedAbove)
      Add(folders.sealed, &folders.sealedCount, kMaxSealedFolders, path + "\\..");
    if (entry.role == TreeFolder::kWellKnown || entry.role == TreeFolder::kSealedAbove)
      Add(folders.wellKnown, &folders.wellKnownCount, kMaxWellKnownFolders, path);
  }
  ResolveGuarded(folders.sealed, folders.sealedCount, &guarded.sealed);
  ResolveGuarded(folders.wellKnown, folders.wellKnownCount, &guarded.wellKnown);
  for (const std::string& folder : std::vector<std::string>(vocabulary.folders)) {
    char shortForm[MAX_PATH];
    DWORD n = GetShortPathNameA(folder.c_str(), shortForm, sizeof(shortForm));
    if (n > 0 && n < sizeof(shortForm) && _stricmp(shortForm, folder.c_str()) != 0)
      vocabulary.shortForms.push_back(shortForm);
  }
  std::vector<std::string> converted;
  for (WCHAR c : kLookAlikes) {
    std::string ansi = Ansi(std::wstring(1, c));
    if (!ansi.empty()) vocabulary.lookAlikes.push_back(ansi);
    converted.push_back(Show(ansi));
  }
  printf(
      "guard_diff: seed %llu, %ld texts of each of %d kinds; %d sealed and %d well-known "
      "folders guarded (%zu and %zu resolved), %zu short forms\n",
      static_cast<unsigned long long>(seed), perKind, static_cast<int>(kTextKinds),
      folders.sealedCount, folders.wellKnownCount, guarded.sealed.size(), guarded.wellKnown.size(),
      vocabulary.shortForms.size());
  printf("look-alikes as the ANSI conversion gives them:");
  for (size_t i = 0; i < converted.size(); ++i)
    printf(" U+%04X=%s", static_cast<unsigned>(kLookAlikes[i]), converted[i].c_str());
  printf("\n");

  Report report;
  report.show = show;
  int entries = 0;
  CheckLookAlikeEntries(&report, &entries);

  TextGenerator generator(seed, vocabulary);
  std::string namesFolder = std::string(kTree) + "\\names";
  long total = 0;
  for (int kind = 0; kind < kTextKinds; ++kind) {
    Tally tally;
    long faultsBefore = report.faults;
    for (long i = 0; i < perKind; ++i) {
      std::string text = generator.Next(kind);
      ++tally.texts;
      std::wstring wide = Wide(text);
      WindowsView windows = ResolveLikeWindows(wide, guarded);
      GuardView guard = ApplyGuard(text, guarded);
      std::string line = "[" + Show(text) + "] (" + TextKindName(kind) + ")";

      // The text's canonical form against Windows' full path, both ways.
      if (!guard.canonical.empty()) {  // the text was accepted
        std::wstring canonical = Wide(guard.canonical);
        if (!windows.resolved || !EqualNoCase(Trimmed(windows.full), canonical))
          report.Fault("accepted text, Windows resolves it to another folder",
                       line + " guard " + Show(guard.canonical) + ", GetFullPathNameW " +
                           Show(Ansi(windows.full)));
        std::string fullA;
        if (FullPathA(text, &fullA)) {
          std::wstring fromA = Trimmed(Wide(fullA));
          if (!EqualNoCase(fromA, canonical))
            report.Fault(
                "accepted text, GetFullPathNameA resolves it to another folder",
                line + " guard " + Show(guard.canonical) + ", GetFullPathNameA " + Show(fullA));
        }
      }
      if (guard.accepted) {
        ++tally.accepted;
        if (windows.kind != kElsewhere)
          report.Fault("accepted, Windows lands on or around a guarded folder",
                       line + " lands on " + kLandingNames[windows.kind] + ": " +
                           Show(Ansi(windows.landing)));
        else if (!EqualNoCase(windows.landing, Wide(guard.longForm)))
          report.Fault("accepted, the long form judged is not where Windows lands",
                       line + " long form " + Show(guard.longForm) + ", Windows " +
                           Show(Ansi(windows.landing)));
        std::wstring longPath;
        if (windows.exists && LongPath(windows.full, &longPath) &&
            !EqualNoCase(longPath, Wide(guard.longForm)))
          report.Fault("accepted, the long form judged is not GetLongPathNameW's",
                       line + " long form " + Show(guard.longForm) + ", GetLongPathNameW " +
                           Show(Ansi(longPath)));
      } else if (windows.kind == kElsewhere || windows.kind == kNowhere) {
        if (windows.kind == kNowhere) ++tally.nowhere;
        ++tally.deliberate;
        report.Deliberate(guard.stage, line + " Windows: " +
                                           (windows.resolved ? Show(Ansi(windows.landing))
                                                             : std::string("cannot resolve")));
      } else {
        ++tally.refusedGuarded;
      }

      size_t cut = text.find_last_of("\\/");
      std::string name = cut == std::string::npos ? text : text.substr(cut + 1);
      if (name.size() < MAX_PATH) CheckEntryName(name, namesFolder, &report);
    }
    tally.faults = report.faults - faultsBefore;
    total += tally.texts;
    printf(
        "%-12s %6ld texts: %5ld accepted, %5ld refused where Windows lands on a root, share, "
        "device or guarded folder, %5ld refused deliberately (%ld Windows cannot resolve), "
        "%ld faults\n",
        TextKindName(kind), tally.texts, tally.accepted, tally.refusedGuarded, tally.deliberate,
        tally.nowhere, tally.faults);
  }
  printf("deliberate refusals by reason:\n");
  for (const auto& reason : report.deliberate)
    printf("  %7ld  %s\n", reason.second, reason.first.c_str());
  for (const auto& group : report.examples) {
    printf("%s:\n", group.first.c_str());
    for (const std::string& example : group.second) printf("    %s\n", example.c_str());
  }
  RemoveTree(L"\\\\?\\" + Wide(kTree));
  printf("guard_diff: %ld texts and %d entry names, %ld faults\n", total, entries, report.faults);
  return report.faults ? 1 : 0;
}
