// Hostile install-folder texts from a small grammar, seeded and repeatable: the same seed and
// vocabulary give the same texts on every host and in every build. Each text is made from a
// folder of the vocabulary (a guarded folder, a look-alike of one, the product's folder) or a
// made-up path, changed by the productions of one kind, so that most texts land in, on or
// around a guarded folder. Texts are bytes in code page 949, as the registry gives them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

enum TextKind {
  kTextDrive,       // drive roots and paths below them, "C:" alone, other letters
  kTextRelative,    // "C:foo", "\foo", "foo\bar", ".\foo", other characters before a colon
  kTextShare,       // \\server\share, administrative shares (C$, ADMIN$)
  kTextDevicePath,  // \\?\, \\.\, \??\, \\?\UNC\, \\?\GLOBALROOT\ before a path
  kTextDots,        // "." and ".." at every depth, names of dots and spaces
  kTextSeparators,  // repeated and mixed separators, leading and trailing ones
  kTextTrailing,    // trailing dots and spaces on any name
  kTextShortName,   // 8.3 names of the guarded folders, made-up ones
  kTextCase,        // upper and lower case, ASCII and double-byte letters, dotless i
  kTextDoubleByte,  // code page 949 characters, broken double-byte pairs
  kTextStream,      // stream colons and stream types
  kTextWildcard,    // * ? < > " |
  kTextDevice,      // CON, NUL, COM1, LPT1, ... with extensions, spaces, superscript digits
  kTextGuarded,     // the guarded folders, their look-alike names, folders in and around them
  kTextLookAlike,   // what the ANSI conversion makes of look-alikes of \ / . and :
  kTextLength,      // lengths around 259 to 261 bytes and far beyond
  kTextRandom,      // random bytes
  kTextMixed,       // productions of every kind at once
  kTextKinds
};

const char* TextKindName(int kind);

// What the texts are made of. Every folder is a full path in code page 949.
struct Vocabulary {
  std::vector<std::string> folders;     // guarded folders and look-alikes of them
  std::vector<std::string> shortForms;  // 8.3 forms of those folders, as Windows gives them
  std::vector<std::string> lookAlikes;  // what the ANSI conversion makes of look-alike characters
};

// A Korean Windows' folders, for a host without Windows.
Vocabulary DefaultVocabulary();

class TextGenerator {
 public:
  TextGenerator(uint64_t seed, const Vocabulary& vocabulary);
  std::string Next(int kind);

 private:
  struct Parts {
    std::string root;  // "C:", "\\server\share", "" for a relative path
    std::vector<std::string> names;
    bool trailingSeparator = false;
    bool glued = false;  // the first name follows the root without a separator ("C:name")
  };

  uint64_t Random();
  uint32_t Below(uint32_t n);
  bool Chance(int percent);
  const std::string& Pick(const std::vector<std::string>& from);
  size_t Position(const Parts& parts);

  Parts Split(const std::string& path);
  std::string Join(const Parts& parts, bool mixedSeparators);
  Parts Base();
  std::string RandomName();
  std::string DoubleByteName();
  void Apply(int kind, Parts* parts);
  std::string Make(int kind);

  uint64_t state_;
  Vocabulary vocabulary_;
  std::vector<std::string> names_;  // every name in the vocabulary's folders
};
