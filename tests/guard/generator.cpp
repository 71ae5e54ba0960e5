// The grammar: a base path (root and names) from the vocabulary or made up, the productions of
// one kind applied to it one to three times, then joined with separators. Randomness is
// SplitMix64 and nothing else, so that a seed means the same texts everywhere.
#include "generator.h"

#include <string.h>

namespace {

const char* const kKindNames[kTextKinds] = {
    "drive",    "relative",   "share",      "device-path", "dots",   "separators",
    "trailing", "short-name", "case",       "double-byte", "stream", "wildcard",
    "device",   "guarded",    "look-alike", "length",      "random", "mixed",
};

// Roots and prefixes.
const char* const kDrives[] = {"C:", "c:", "D:", "Z:", "A:", "z:"};
const char* const kRelativeStarts[] = {
    "",     "\\",    "/",           ".\\",         "..\\", "./",  "C:",   "c:.",   "C:..\\",
    "1:\\", " C:\\", "\xA3\xC3:\\", "C\xA1\xA6\\", "\\\\", ":\\", "C;\\", "CC:\\",
};
const char* const kServers[] = {"server", "SERVER", "localhost", "127.0.0.1", "[::1]",
                                ".",      "..",     "?",         "srv.",      "\xC5\xE7"};
const char* const kShares[] = {"share", "C$",    "c$",     "ADMIN$", "IPC$",
                               "D$",    "Users", "share.", "print$", "$"};
const char* const kDevicePrefixes[] = {
    "\\\\?\\",
    "\\\\.\\",
    "\\??\\",
    "\\\\?\\UNC\\",
    "//?/",
    "//./",
    "\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\",
    "\\\\.\\GLOBALROOT\\",
    "\\??\\UNC\\",
    "\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\",
    "\\\\.\\PhysicalDrive0\\",
    "\\\\?\\\\",
    "\\\\.\\\\",
};

// Pieces of names.
const char* const kDotNames[] = {".",  "..", "...", "....", ". .", ".. ", " ..",
                                 " .", ". ", " ",   "  ",   ".\t", "..."};
const char* const kTrailers[] = {".",    "..",   " ",    "  ", ". ",       " .",      "...",
                                 ". . ", " . .", ".  .", "\t", "\xA1\xA4", "\xA1\xA6"};
const char* const kSeparators[] = {"\\", "/", "\\\\", "//", "\\/", "/\\", "\\\\\\", "/\\/"};
const char* const kStreams[] = {":",  "::$DATA",  "::$INDEX_ALLOCATION",
                                ":x", ":x:$DATA", ":$I30:$INDEX_ALLOCATION",
                                ": ", "::",       ":\xC5\xE7"};
const char* const kWildcards[] = {"*", "?", "<", ">", "\"", "|", "*.*", "?*", "<.>"};
const char* const kDevices[] = {
    "CON",  "PRN",         "AUX",         "NUL",         "COM1",   "COM9", "LPT1", "LPT9",
    "COM0", "LPT0",        "CONIN$",      "CONOUT$",     "CLOCK$", "con",  "nul",  "Com3",
    "lPt2", "COM\xA9\xF6", "LPT\xA9\xF7", "com\xA9\xF8", "COM10",  "CONX", "NULL", "AUXILIARY"};
const char* const kDeviceTails[] = {"",      "",        ".txt", ".",  ". ",       " ",
                                    " .txt", ".tar.gz", ":",    "  ", ".\xC5\xE7"};
const char* const kShortNames[] = {
    "PROGRA~1", "PROGRA~2", "WINDOW~1", "DOCUME~1", "LOCALS~1", "APPLIC~1", "progra~1",
    "PROG~FBU", "USERS~1",  "~1",       "A~1",      "WINDOWS~", "COMMON~1", "\xB9\xD9\xC5\xC1~1"};
const char* const kLookAlikeNames[] = {"2",  " (x86)", ".old", "~",        "_", "-",
                                       " 2", "0",      ".bak", "\xA1\xA4", "s"};
const char* const kPlainNames[] = {"Tolvane",       "Brenlock", "system32", "drivers",
                                   "Temp",          "x",        "Sub",      "Data",
                                   "Program Files", "WINDOWS",  "Users",    "kim",
                                   "Desktop",       "AppData",  "Public",   "Common Files"};
// Code page 949 names, and characters whose trail byte is an ASCII letter.
const char* const kKoreanNames[] = {
    "\xB9\xD9\xC5\xC1\x20\xC8\xAD\xB8\xE9",      // the desktop
    "\xBD\xC3\xC0\xDB\x20\xB8\xDE\xB4\xBA",      // the Start menu
    "\xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5",          // programs
    "\xB3\xBB\x20\xB9\xAE\xBC\xAD",              // my documents
    "\xC5\xE7\xB9\xD9\xB3\xD7",                  // the product
    "\xB5\xA5\xC0\xCC\xC5\xCD",                  // data
    "\xA5\xC5\xA5\xEB\xA5\xE5\xA5\xED\xA5\xE7",  // Greek
    "\xAC\xAA\xAC\xD3\xAC\xD1\xAC\xDF",          // Cyrillic
    "\x81\x61",
    "\x81\x41",
    "\x81\x5A",
    "\x81\x7A",
    "\xC6\x52",
};
// Broken double-byte pairs: a lead byte at the end, before a separator, a dot, a colon or a
// space, before a byte that is no trail byte of this code page; lone bytes.
const char* const kBrokenPairs[] = {
    "\xB0",     "\xB0\\",   "\xB0/", "\xB0.", "\xB0:", "\xB0 ",    "\xC9\x41",
    "\x81\x7C", "\xFE\xFF", "\x80",  "\xFF",  "\xA1",  "\x81\x40", "\xB0\x5C\x5C"};

template <typename T, size_t N>
constexpr uint32_t Count(const T (&)[N]) {
  return static_cast<uint32_t>(N);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The other case of the double-byte letter lead, trail in code page 949 (fullwidth Latin,
// Greek, Cyrillic, Roman numerals); false for any other character.
bool OtherCase(unsigned char lead, unsigned char* trail) {
  struct Range {
    unsigned char lead, upper, lower, count;
  };
  static const Range kRanges[] = {
      {0xA3, 0xC1, 0xE1, 26},
      {0xA5, 0xC1, 0xE1, 24},
      {0xAC, 0xA1, 0xD1, 33},
      {0xA5, 0xB0, 0xA1, 10},
  };
  for (const Range& r : kRanges) {
    if (lead != r.lead) continue;
    if (*trail >= r.upper && *trail < r.upper + r.count) {
      *trail = static_cast<unsigned char>(*trail - r.upper + r.lower);
      return true;
    }
    if (*trail >= r.lower && *trail < r.lower + r.count) {
      *trail = static_cast<unsigned char>(*trail - r.lower + r.upper);
      return true;
    }
  }
  return false;
}

}  // namespace

const char* TextKindName(int kind) {
  return kind >= 0 && kind < kTextKinds ? kKindNames[kind] : "?";
}

Vocabulary DefaultVocabulary() {
  Vocabulary v;
  v.folders = {
      "C:\\WINDOWS",
      "C:\\WINDOWS\\system32",
      "C:\\windows\\syswow64",
      "C:\\Program Files",
      "C:\\Program Files (x86)",
      "C:\\Program Files\\Common Files",
      "C:\\Documents and Settings",
      "C:\\Documents and Settings\\kim",
      "C:\\Documents and Settings\\kim\\\xB9\xD9\xC5\xC1\x20\xC8\xAD\xB8\xE9",
      "C:\\Documents and Settings\\All Users\\\xBD\xC3\xC0\xDB\x20\xB8\xDE\xB4\xBA\\"
      "\xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5",
      "C:\\Documents and Settings\\kim\\Local Settings\\Temp",
      "C:\\Users",
      "C:\\Users\\Public",
      "C:\\Users\\kim\\AppData\\Roaming",
      "C:\\ProgramData",
      "C:\\Data\\\x81\x61",
      "D:\\\xA5\xC5\xA5\xEB\xA5\xE5\xA5\xED\xA5\xE7",
      "C:\\Program Files\\Brenlock\\Tolvane",
      "C:\\WINDOWS2",
      "C:\\Program Files\\Brenlock\\Tolvane.old",
  };
  v.shortForms = {"C:\\PROGRA~1",           "C:\\PROGRA~2",
                  "C:\\DOCUME~1",           "C:\\DOCUME~1\\kim\\LOCALS~1",
                  "C:\\PROGRA~1\\COMMON~1", "C:\\PROG~FBU"};
  // The won sign (U+20A9) becomes '\'; the fullwidth forms keep characters of their own.
  v.lookAlikes = {"\\",       "\xA3\xDC", "\xA1\xAC", "\xA3\xAF", "\xA3\xAE",
                  "\xA3\xBA", "\xA1\xA4", "\xA1\xA5", "?"};
  return v;
}

TextGenerator::TextGenerator(uint64_t seed, const Vocabulary& vocabulary)
    : state_(seed), vocabulary_(vocabulary) {
  if (vocabulary_.folders.empty()) vocabulary_.folders = DefaultVocabulary().folders;
  if (vocabulary_.shortForms.empty()) vocabulary_.shortForms = DefaultVocabulary().shortForms;
  if (vocabulary_.lookAlikes.empty()) vocabulary_.lookAlikes = DefaultVocabulary().lookAlikes;
  for (const std::string& folder : vocabulary_.folders)
    for (const std::string& name : Split(folder).names) names_.push_back(name);
  for (const char* name : kPlainNames) names_.push_back(name);
}

uint64_t TextGenerator::Random() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t TextGenerator::Below(uint32_t n) { return n ? static_cast<uint32_t>(Random() % n) : 0; }

bool TextGenerator::Chance(int percent) { return Below(100) < static_cast<uint32_t>(percent); }

const std::string& TextGenerator::Pick(const std::vector<std::string>& from) {
  return from[Below(static_cast<uint32_t>(from.size()))];
}

// A place among the names: before the first, between two, or after the last.
size_t TextGenerator::Position(const Parts& parts) {
  return Below(static_cast<uint32_t>(parts.names.size() + 1));
}

// Root and names of a path, cut at every separator (double-byte characters are not looked at:
// the vocabulary's names hold no backslash byte).
TextGenerator::Parts TextGenerator::Split(const std::string& path) {
  Parts parts;
  size_t i = 0;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t server = path.find_first_of("\\/", 2);
    size_t share = server == std::string::npos ? server : path.find_first_of("\\/", server + 1);
    i = share == std::string::npos ? path.size() : share;
    parts.root = path.substr(0, i);
  } else if (path.size() >= 2 && path[1] == ':') {
    parts.root = path.substr(0, 2);
    i = 2;
  }
  std::string name;
  for (; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      if (!name.empty()) parts.names.push_back(name);
      name.clear();
    } else {
      name += path[i];
    }
  }
  parts.trailingSeparator = !path.empty() && IsSeparator(path.back()) && !parts.names.empty();
  return parts;
}

std::string TextGenerator::Join(const Parts& parts, bool mixedSeparators) {
  std::string text = parts.root;
  for (size_t i = 0; i < parts.names.size(); ++i) {
    if (i > 0 || (!parts.root.empty() && !parts.glued))
      text += mixedSeparators ? kSeparators[Below(Count(kSeparators))] : "\\";
    text += parts.names[i];
  }
  if (parts.trailingSeparator)
    text += mixedSeparators ? kSeparators[Below(Count(kSeparators))] : "\\";
  return text;
}

std::string TextGenerator::RandomName() {
  switch (Below(4)) {
    case 0:
      return kPlainNames[Below(Count(kPlainNames))];
    case 1:
      return Pick(names_);
    case 2:
      return DoubleByteName();
    default: {
      std::string name;
      for (uint32_t i = 1 + Below(12); i > 0; --i)
        name += static_cast<char>(Chance(70) ? 'a' + Below(26) : "0123456789 ._-$~()"[Below(18)]);
      return name;
    }
  }
}

std::string TextGenerator::DoubleByteName() {
  std::string name = kKoreanNames[Below(Count(kKoreanNames))];
  if (Chance(40)) name += kPlainNames[Below(Count(kPlainNames))];
  if (Chance(30)) {
    // A random character of the code page's double-byte range, valid or not.
    name += static_cast<char>(0x81 + Below(0x7E));
    name += static_cast<char>(0x41 + Below(0xBE));
  }
  return name;
}

TextGenerator::Parts TextGenerator::Base() {
  Parts parts;
  switch (Below(10)) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
      parts = Split(Pick(vocabulary_.folders));
      break;
    case 6:
      parts = Split(Pick(vocabulary_.shortForms));
      break;
    case 7:
      parts = Split("C:\\Program Files\\Brenlock\\Tolvane");
      break;
    default:
      parts.root = kDrives[Below(Count(kDrives))];
      for (uint32_t i = Below(4); i > 0; --i) parts.names.push_back(RandomName());
      break;
  }
  // Into, beside or above the folder.
  switch (Below(6)) {
    case 0:
      parts.names.push_back(RandomName());
      break;
    case 1:
      parts.names.push_back("..");
      break;
    case 2:
      if (!parts.names.empty())
        parts.names.back() += kLookAlikeNames[Below(Count(kLookAlikeNames))];
      break;
    default:
      break;
  }
  parts.trailingSeparator = Chance(15);
  return parts;
}

// One production of kind.
void TextGenerator::Apply(int kind, Parts* parts) {
  std::vector<std::string>& names = parts->names;
  auto insert = [&](const std::string& name) {
    names.insert(names.begin() + static_cast<long>(Position(*parts)), name);
  };
  auto some = [&]() -> std::string* {
    if (names.empty()) names.push_back(RandomName());
    return &names[Below(static_cast<uint32_t>(names.size()))];
  };
  switch (kind) {
    case kTextDrive:
      parts->root = Chance(80) ? kDrives[Below(Count(kDrives))]
                               : std::string(1, static_cast<char>('A' + Below(26))) + ":";
      if (Chance(20)) names.clear();
      if (Chance(20)) names.resize(names.size() / 2);
      break;
    case kTextRelative:
      parts->root = kRelativeStarts[Below(Count(kRelativeStarts))];
      parts->glued = Chance(70);
      break;
    case kTextShare:
      parts->root = std::string(Chance(70) ? "\\\\" : "//") + kServers[Below(Count(kServers))];
      if (Chance(85))
        parts->root += std::string(Chance(80) ? "\\" : "/") + kShares[Below(Count(kShares))];
      if (Chance(30) && !names.empty() && names[0].size() == 2 && names[0][1] == ':')
        names.erase(names.begin());
      break;
    case kTextDevicePath: {
      std::string prefix = kDevicePrefixes[Below(Count(kDevicePrefixes))];
      // The drive, or a server and share for the UNC forms, follows the prefix as a name.
      if (!parts->root.empty() && parts->root[0] != '\\' && parts->root[0] != '/')
        names.insert(names.begin(), parts->root);
      parts->root = prefix.substr(0, prefix.size() - 1);
      break;
    }
    case kTextDots:
      insert(kDotNames[Below(Count(kDotNames))]);
      if (Chance(30))
        for (uint32_t i = Below(8); i > 0; --i) names.push_back("..");
      break;
    case kTextSeparators:
      // Applied when the parts are joined; here leading and trailing ones.
      if (Chance(30)) parts->trailingSeparator = true;
      if (Chance(20)) insert("");
      break;
    case kTextTrailing:
      *some() += kTrailers[Below(Count(kTrailers))];
      if (Chance(30) && !names.empty()) names.back() += kTrailers[Below(Count(kTrailers))];
      break;
    case kTextShortName:
      if (Chance(50)) {
        Parts other = Split(Pick(vocabulary_.shortForms));
        // The short form, then what followed some name of the folder.
        size_t from = Below(static_cast<uint32_t>(names.size() + 1));
        other.names.insert(other.names.end(), names.begin() + static_cast<long>(from), names.end());
        *parts = other;
      } else {
        *some() = kShortNames[Below(Count(kShortNames))];
      }
      break;
    case kTextCase: {
      std::string* name = some();
      for (size_t i = 0; i < name->size(); ++i) {
        unsigned char c = static_cast<unsigned char>((*name)[i]);
        if (IsLead(c) && i + 1 < name->size()) {
          unsigned char trail = static_cast<unsigned char>((*name)[i + 1]);
          if (Chance(50) && OtherCase(c, &trail)) (*name)[i + 1] = static_cast<char>(trail);
          ++i;
        } else if (((c | 0x20) >= 'a' && (c | 0x20) <= 'z') && Chance(50)) {
          if (Chance(10) && (c | 0x20) == 'i') {
            name->replace(i, 1, "\xA9\xA5");  // dotless i
            ++i;
          } else if (Chance(5)) {
            // The fullwidth letter.
            char wide[3] = {'\xA3', static_cast<char>(0xC1 + ((c | 0x20) - 'a') + (c & 0x20)), 0};
            name->replace(i, 1, wide);
            ++i;
          } else {
            (*name)[i] = static_cast<char>(c ^ 0x20);
          }
        }
      }
      if (Chance(20))
        parts->root = parts->root.size() == 2
                          ? std::string(1, static_cast<char>(parts->root[0] ^ 0x20)) + ":"
                          : parts->root;
      break;
    }
    case kTextDoubleByte:
      if (Chance(60)) insert(DoubleByteName());
      if (Chance(50)) {
        std::string* name = some();
        name->insert(Below(static_cast<uint32_t>(name->size() + 1)),
                     kBrokenPairs[Below(Count(kBrokenPairs))]);
      }
      break;
    case kTextStream:
      *some() += kStreams[Below(Count(kStreams))];
      break;
    case kTextWildcard: {
      std::string* name = some();
      name->insert(Below(static_cast<uint32_t>(name->size() + 1)),
                   kWildcards[Below(Count(kWildcards))]);
      break;
    }
    case kTextDevice: {
      std::string device = std::string(Chance(15) ? " " : "") + kDevices[Below(Count(kDevices))] +
                           kDeviceTails[Below(Count(kDeviceTails))];
      if (Chance(60))
        names.push_back(device);
      else
        insert(device);
      break;
    }
    case kTextGuarded: {
      Parts guarded = Split(Pick(vocabulary_.folders));
      switch (Below(5)) {
        case 0:
          break;
        case 1:
          guarded.names.push_back(RandomName());
          break;
        case 2:
          guarded.names.push_back("..");
          break;
        case 3:
          if (!guarded.names.empty()) {
            std::string& last = guarded.names[Below(static_cast<uint32_t>(guarded.names.size()))];
            if (Chance(50) || last.size() < 2)
              last += kLookAlikeNames[Below(Count(kLookAlikeNames))];
            else
              last.erase(last.size() - 1);
          }
          break;
        default:
          guarded.names.push_back(Pick(names_));
          break;
      }
      *parts = guarded;
      break;
    }
    case kTextLookAlike: {
      const std::string& lookAlike = Pick(vocabulary_.lookAlikes);
      std::string* name = some();
      size_t at = Below(static_cast<uint32_t>(name->size() + 1));
      switch (Below(4)) {
        case 0:
          name->insert(at, lookAlike);
          break;  // inside a name
        case 1:
          *name = lookAlike + lookAlike;
          break;  // a name of them alone
        case 2:
          *name = lookAlike;
          break;
        default:
          *name += lookAlike + RandomName();
          break;  // as a separator
      }
      break;
    }
    case kTextLength: {
      // A total length around MAX_PATH (259 to 261 bytes and a terminator), or far beyond; the
      // padding is one long name, many short ones, or "." and ".." that resolve it away.
      uint32_t target = Chance(70) ? 255 + Below(10) : 262 + Below(Chance(80) ? 800 : 5000);
      std::string text = Join(*parts, false);
      std::string fill;
      switch (Below(4)) {
        case 0:
          fill = "\\" + std::string(target, 'a');
          break;
        case 1:
          while (fill.size() < target) fill += "\\abcdefgh";
          break;
        case 2:
          while (fill.size() < target) fill += "\\.";
          break;
        default:
          while (fill.size() < target) fill += "\\x\\..";
          break;
      }
      if (text.size() < target) {
        fill.resize(target - text.size());
        if (Chance(50))
          text += fill;
        else
          text.insert(parts->root.size(), fill);
      }
      *parts = Split(text);
      if (parts->root.empty() && text.size() >= 2 && text[1] != ':') parts->root.clear();
      break;
    }
    case kTextRandom: {
      std::string text = Chance(50) ? "C:\\" : "";
      uint32_t length = Chance(90) ? Below(300) : Below(3000);
      for (uint32_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(1 + Below(255));
        if (Chance(30)) c = static_cast<unsigned char>("\\/.: \x81\xB0?*C"[Below(11)]);
        text += static_cast<char>(c);
      }
      *parts = Split(text);
      break;
    }
    default:
      break;
  }
}

std::string TextGenerator::Make(int kind) {
  Parts parts = Base();
  bool mixed = false;
  if (kind == kTextRandom) {
    Apply(kind, &parts);
    return Join(parts, Chance(20));
  }
  if (kind == kTextMixed) {
    for (uint32_t i = 2 + Below(3); i > 0; --i) {
      int other = static_cast<int>(Below(kTextMixed));
      if (other == kTextRandom || other == kTextLength) other = kTextDots;
      if (other == kTextSeparators) mixed = true;
      Apply(other, &parts);
    }
    return Join(parts, mixed);
  }
  for (uint32_t i = 1 + (Chance(30) ? Below(3) : 0); i > 0; --i) Apply(kind, &parts);
  return Join(parts, kind == kTextSeparators || Chance(5));
}

std::string TextGenerator::Next(int kind) {
  std::string text = Make(kind);
  // A NUL ends the text as the registry value's terminator would.
  size_t end = text.find('\0');
  if (end != std::string::npos) text.resize(end);
  return text;
}
