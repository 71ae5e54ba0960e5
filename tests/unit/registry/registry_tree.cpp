// The tree builder and reader of registry_tree.h, on the real registry. Buffers are large enough
// for any key name (255) and any value name (16,383) the registry allows.
#include "registry/registry_tree.h"

#include <algorithm>

namespace {

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
    char subkey[256];
    DWORD length = sizeof(subkey);
    if (RegEnumKeyExA(key, i, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    std::string childPath = Join(path, subkey);
    lines->insert(childPath);
    HKEY child;
    if (RegOpenKeyExA(key, subkey, 0, KEY_READ, &child) == ERROR_SUCCESS) {
      ReadKey(child, childPath, lines);
      RegCloseKey(child);
    } else {
      lines->insert(childPath + " <cannot be opened>");
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
      LONG created = RegCreateKeyExA(key, line.key.substr(start, end - start).c_str(), 0, nullptr,
                                     0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
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

void DeleteTree(HKEY root, const std::string& path) { RegDeleteTreeA(root, path.c_str()); }

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

LONG CountedOpen(HKEY root, const char* path, REGSAM access, HKEY* key) {
  LONG result = RegOpenKeyExA(root, path, 0, access, key);
  if (result == ERROR_SUCCESS) ++Handles().opens;
  return result;
}

LONG CountedClose(HKEY key) {
  ++Handles().closes;
  return RegCloseKey(key);
}
