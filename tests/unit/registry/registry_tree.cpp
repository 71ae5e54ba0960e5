// The tree builder and reader of registry_tree.h, on the real registry. Buffers are large enough
// for any key name (255) and any value name (16,383) the registry allows. Keys are named through
// the wide functions: an ANSI key name in a double-byte code page can be longer than the ANSI
// functions take.
#include "registry/registry_tree.h"

#include "platform/seam.h"

#include <algorithm>

namespace {

const wchar_t kLinkValue[] = L"SymbolicLinkValue";
const char kLinkMark[] = " <link>";

std::wstring Wide(const std::string& text) {
  wchar_t wide[1024];
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 1024);
  return n > 0 ? std::wstring(wide, n - 1) : std::wstring();
}

std::string Ansi(const wchar_t* text) {
  char bytes[1024];
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr);
  return n > 0 ? std::string(bytes, n - 1) : std::string();
}

bool IsLink(HKEY key) {
  DWORD type = REG_NONE;
  return RegQueryValueExW(key, kLinkValue, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
         type == REG_LINK;
}

// ntdll's own functions for what the registry functions do not offer: the native name of a key,
// which a link holds as its target, and deleting a key by its handle.
struct KeyNameInformation {
  ULONG length;
  WCHAR name[1024];
};
typedef LONG(WINAPI* NtQueryKeyFunction)(HANDLE, int, void*, ULONG, ULONG*);
typedef LONG(WINAPI* NtDeleteKeyFunction)(HANDLE);
const int kKeyNameInformation = 3;

FARPROC Ntdll(const char* name) { return GetProcAddress(GetModuleHandleA("ntdll.dll"), name); }

// Deletes the open key and all below it; a link is deleted itself, not what it leads to.
void DeleteOpenKey(HKEY key) {
  if (!IsLink(key)) {
    std::vector<std::wstring> children;
    wchar_t child[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(key, i, child, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS)
        break;
      children.push_back(child);
    }
    for (const std::wstring& name : children) {
      HKEY open;
      if (RegOpenKeyExW(key, name.c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &open) ==
          ERROR_SUCCESS) {
        DeleteOpenKey(open);
        RegCloseKey(open);
      }
    }
  }
  reinterpret_cast<NtDeleteKeyFunction>(Ntdll("NtDeleteKey"))(key);
}

// Splits "path:name=data" (or a bare "path") into its parts.
struct Line {
  std::string key, name, data;
  bool isValue;
};

Line Parse(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos) return {line, "", "", false};
  size_t equals = line.find('=', colon);
  std::string name = line.substr(colon + 1, equals == std::string::npos ? equals : equals - colon - 1);
  std::string data = equals == std::string::npos ? "" : line.substr(equals + 1);
  return {line.substr(0, colon), name, data, true};
}

std::string Join(const std::string& base, const std::string& child) {
  return base.empty() ? child : child.empty() ? base : base + "\\" + child;
}

void ReadKey(HKEY key, const std::string& path, std::set<std::string>* lines) {
  std::vector<char> name(16384);
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = name.size(), dataLength = data.size(), type;
    if (RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(),
                      &dataLength) != ERROR_SUCCESS)
      break;
    std::string text(reinterpret_cast<char*>(data.data()), dataLength);
    if (type == REG_SZ && !text.empty() && text.back() == 0) text.pop_back();
    lines->insert(path + ":" + std::string(name.data(), nameLength) + "=" + text);
  }
  for (DWORD i = 0;; ++i) {
    wchar_t subkey[256];
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    std::string childPath = Join(path, Ansi(subkey));
    HKEY child;
    if (RegOpenKeyExW(key, subkey, REG_OPTION_OPEN_LINK, KEY_READ, &child) != ERROR_SUCCESS) {
      lines->insert(childPath);
      lines->insert(childPath + " <cannot be opened>");
    } else if (IsLink(child)) {
      lines->insert(childPath + kLinkMark);
      RegCloseKey(child);
    } else {
      lines->insert(childPath);
      ReadKey(child, childPath, lines);
      RegCloseKey(child);
    }
  }
}

}  // namespace

void BuildTree(HKEY root, const std::string& base, const Tree& tree) {
  HKEY top;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, base.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &top, nullptr))
      << base;
  for (const std::string& entry : tree) {
    Line line = Parse(entry);
    // One key at a time: Wine's RegCreateKeyExA refuses a path of more than 259 characters.
    HKEY key = top;
    for (size_t start = 0; start < line.key.size();) {
      size_t end = std::min(line.key.find('\\', start), line.key.size());
      HKEY child;
      LONG created = RegCreateKeyExW(key, Wide(line.key.substr(start, end - start)).c_str(), 0,
                                     nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
      if (key != top) RegCloseKey(key);
      ASSERT_EQ(ERROR_SUCCESS, created) << entry;
      key = child;
      start = end + 1;
    }
    if (line.isValue) {
      EXPECT_EQ(ERROR_SUCCESS,
                RegSetValueExA(key, line.name.empty() ? nullptr : line.name.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(line.data.c_str()),
                               line.data.size() + 1))
          << entry;
    }
    if (key != top) RegCloseKey(key);
  }
  RegCloseKey(top);
}

std::set<std::string> ReadTree(HKEY root, const std::string& base, bool* exists) {
  std::set<std::string> lines;
  HKEY key;
  bool opened = RegOpenKeyExA(root, base.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (exists) *exists = opened;
  if (opened) {
    ReadKey(key, "", &lines);
    RegCloseKey(key);
  }
  return lines;
}

std::set<std::string> Expand(const Tree& tree) {
  std::set<std::string> lines;
  for (const std::string& entry : tree) {
    Line line = Parse(entry);
    if (line.isValue) lines.insert(entry);
    for (size_t end = 0; end != std::string::npos && !line.key.empty();) {
      end = line.key.find('\\', end + 1);
      lines.insert(line.key.substr(0, end));
    }
  }
  return lines;
}

bool KeyExists(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void DeleteTree(HKEY root, const std::string& path) {
  HKEY key;
  if (RegOpenKeyExW(root, Wide(path).c_str(), REG_OPTION_OPEN_LINK, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS)
    return;
  DeleteOpenKey(key);
  RegCloseKey(key);
}

void MakeLink(HKEY root, const std::string& path, HKEY targetRoot, const std::string& target) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(targetRoot, target.c_str(), 0, KEY_READ, &key)) << target;
  static KeyNameInformation native;
  ULONG length = 0;
  LONG status = reinterpret_cast<NtQueryKeyFunction>(Ntdll("NtQueryKey"))(
      key, kKeyNameInformation, &native, sizeof(native), &length);
  RegCloseKey(key);
  ASSERT_EQ(0, status) << "native name of " << target;
  // The target's native name (\REGISTRY\MACHINE\...), without a terminator.
  LONG created = RegCreateKeyExW(root, Wide(path).c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                                 KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr);
  ASSERT_EQ(ERROR_SUCCESS, created) << path;
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, kLinkValue, 0, REG_LINK,
                                          reinterpret_cast<const BYTE*>(native.name),
                                          native.length));
  RegCloseKey(key);
}

// Long runs of one character are written as "a{200}", so that long names stay readable.
static std::string Abbreviate(const std::string& line) {
  std::string text;
  for (size_t i = 0; i < line.size();) {
    size_t run = line.find_first_not_of(line[i], i);
    run = (run == std::string::npos ? line.size() : run) - i;
    text += run > 8 ? std::string(1, line[i]) + "{" + std::to_string(run) + "}"
                    : line.substr(i, run);
    i += run;
  }
  return text;
}

std::string Lines(const std::set<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n  " + Abbreviate(line);
  return text.empty() ? " (none)" : text;
}

void ExpectTree(HKEY root, const std::string& base, const Tree& tree) {
  bool exists;
  std::set<std::string> actual = ReadTree(root, base, &exists);
  ASSERT_TRUE(exists) << base << " is missing";
  std::set<std::string> expected = Expand(tree);
  std::set<std::string> missing, unexpected;
  std::set_difference(expected.begin(), expected.end(), actual.begin(), actual.end(),
                      std::inserter(missing, missing.end()));
  std::set_difference(actual.begin(), actual.end(), expected.begin(), expected.end(),
                      std::inserter(unexpected, unexpected.end()));
  EXPECT_TRUE(missing.empty() && unexpected.empty())
      << "under " << base << "\nmissing:" << Lines(missing) << "\nunexpected:" << Lines(unexpected);
}

HandleCount& Handles() {
  static HandleCount handles;
  return handles;
}

static LONG Counted(LONG opened) {
  if (opened == ERROR_SUCCESS) ++Handles().opens;
  return opened;
}

LONG CountedOpen(HKEY root, const char* path, REGSAM access, HKEY* key) {
  return Counted(RegOpenKeyExA(root, path, 0, access, key));
}

LONG CountedOpenItself(HKEY root, const char* path, REGSAM access, HKEY* key) {
  return Counted(RegOpenKeyExA(root, path, REG_OPTION_OPEN_LINK, access, key));
}

LONG CountedClose(HKEY key) {
  ++Handles().closes;
  return RegCloseKey(key);
}

LONG RealDeleteKeyItself(HKEY key) {
  auto standIn = g_seam.RegDeleteKeyItself;
  g_seam.RegDeleteKeyItself = nullptr;
  LONG result = SysRegDeleteKeyItself(key);
  g_seam.RegDeleteKeyItself = standIn;
  return result;
}
