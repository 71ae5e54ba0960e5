// One fuzz input through the text functions and the guard, built for the host with
// AddressSanitizer and UndefinedBehaviorSanitizer: every buffer they are given is exactly as
// large as they are told, so that a byte written or read past it is caught. Beyond overruns,
// what must hold of every answer is checked, and a breach ends the run like a crash:
//   - a canonical form is written within the size given and terminated, and no buffer size
//     gives another accepted form than one with room for the whole text;
//   - an accepted form is a drive, then names: lower-cased, none empty, ".", "..", a device or
//     ending in a dot or space; it is its own canonical form, the form for a folder Windows
//     names is the same, and judging it gives the text's own verdict;
//   - a folder is refused when it is a guarded folder, lies in a sealed one or holds one;
//   - a plain entry name joined to a folder names an entry directly in it, or no plain path;
//   - when the lowering fails or changes a name's length, no text is accepted.
// Input: the first byte chooses how the lowering behaves (see LowerMode); the rest is the text,
// up to its first NUL.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "files/folder_guard.h"
#include "files/path_text.h"
#include "standins.h"

namespace {

const uint8_t* g_input;
size_t g_inputSize;

[[noreturn]] void Fail(const char* what, const char* detail) {
  fprintf(stderr, "guard fuzz: %s\n  detail: %s\n  input:", what, detail ? detail : "");
  for (size_t i = 0; i < g_inputSize; ++i) fprintf(stderr, " %02x", g_input[i]);
  fprintf(stderr, "\n");
  abort();
}

void Check(bool holds, const char* what, const char* detail = nullptr) {
  if (!holds) Fail(what, detail);
}

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The names Wine takes for a device (the part before the first dot, without trailing spaces).
bool IsWineDevice(const char* name, size_t length) {
  size_t end = 0;
  while (end < length && name[end] != '.') ++end;
  while (end > 0 && name[end - 1] == ' ') --end;
  std::string base(name, end);
  if (base == "con" || base == "prn" || base == "aux" || base == "nul") return true;
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

// An accepted canonical form: "x:" and one or more "\name".
void CheckWellFormed(const char* canonical) {
  Check(canonical[0] >= 'a' && canonical[0] <= 'z' && canonical[1] == ':',
        "accepted form does not start with a lower-case drive", canonical);
  Check(canonical[2] == '\\', "accepted form is a root", canonical);
  size_t i = 2;
  while (canonical[i]) {
    Check(canonical[i] == '\\', "accepted form has no separator before a name", canonical);
    size_t start = ++i;
    while (canonical[i] && canonical[i] != '\\') {
      unsigned char c = static_cast<unsigned char>(canonical[i]);
      Check(c >= 0x20 && c != '/' && !strchr("<>:\"|?*", c), "accepted form holds a forbidden byte",
            canonical);
      Check(!(c >= 'A' && c <= 'Z'), "accepted form is not lower-cased", canonical);
      if (IsLead(c)) {
        Check(canonical[i + 1] != 0 && canonical[i + 1] != '\\',
              "accepted form holds a broken double-byte pair", canonical);
        i += 2;
      } else {
        ++i;
      }
    }
    size_t end = i;
    Check(end > start, "accepted form holds an empty name", canonical);
    std::string name(canonical + start, end - start);
    Check(name != "." && name != "..", "accepted form holds . or ..", canonical);
    Check(name.back() != '.' && name.back() != ' ', "accepted form holds a trailing dot or space",
          canonical);
    Check(!IsWineDevice(name.data(), name.size()), "accepted form holds a device name", canonical);
  }
}

// The guarded folders of a Korean system: a profile whose name the code page cannot spell
// among them ('?'), a relative folder and a share.
struct FixedGuard : GuardedFolders {
  FixedGuard() {
    sealedCount = wellKnownCount = 0;
    for (const char* folder :
         {"C:\\WINDOWS", "C:\\Documents and Settings\\kim\\..", "C:\\Users\\?????\\..", "E:"})
      strcpy(sealed[sealedCount++], folder);
    for (const char* folder :
         {"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files",
          "C:\\Program Files\\Common Files", "C:\\Documents and Settings\\kim",
          "C:\\Documents and Settings\\kim\\\xB9\xD9\xC5\xC1\x20\xC8\xAD\xB8\xE9",
          "C:\\Data\\\x81\x61", "D:\\\xA5\xC5\xA5\xEB\xA5\xE5\xA5\xED\xA5\xE7", "relative\\x",
          "\\\\server\\profiles\\kim", "C:\\Users\\?????\\Desktop"})
      strcpy(wellKnown[wellKnownCount++], folder);
  }
};

const FixedGuard& Fixed() {
  static FixedGuard guard;
  return guard;
}

// Canonicalize (or CanonicalizeNamed) into a buffer of exactly size bytes.
FolderVerdict Resolve(bool named, const char* text, int size, std::string* form) {
  char* buffer = new char[size];
  FolderVerdict verdict =
      named ? CanonicalizeNamed(text, buffer, size) : Canonicalize(text, buffer, size);
  if (size > 0) {
    Check(memchr(buffer, 0, static_cast<size_t>(size)) != nullptr,
          "canonical form not terminated within its buffer", text);
    *form = buffer;
  } else {
    form->clear();
  }
  delete[] buffer;
  return verdict;
}

// Every buffer size gives the form a buffer with room for the whole text gives (no form is
// longer than its text), or no accepted form at all.
void CheckSizes(bool named, const char* text) {
  int length = static_cast<int>(strlen(text));
  std::string whole;
  FolderVerdict wholeVerdict = Resolve(named, text, length + 1, &whole);
  int sizes[] = {0, 1, 2, 3, 4, 5, 8, length, length + 2, kPathSize - 1, kPathSize};
  for (int size : sizes) {
    std::string form;
    if (Resolve(named, text, size, &form) == kFolderAccepted)
      Check(wholeVerdict == kFolderAccepted && form == whole,
            "a buffer of another size gives another accepted form", text);
  }
}

// A guard of one folder, sealed or well-known.
struct OneGuard : GuardedFolders {
  OneGuard(const char* folder, bool isSealed) {
    sealedCount = wellKnownCount = 0;
    strcpy(isSealed ? sealed[sealedCount++] : wellKnown[wellKnownCount++], folder);
  }
};

void CheckText(const char* text) {
  std::string form, again, named;
  FolderVerdict verdict = Resolve(false, text, kPathSize, &form);
  FolderVerdict namedVerdict = Resolve(true, text, kPathSize, &named);
  CheckSizes(false, text);
  CheckSizes(true, text);
  std::string repeat;
  Check(Resolve(false, text, kPathSize, &repeat) == verdict && repeat == form,
        "Canonicalize answers differently the second time", text);

  FolderVerdict judged = JudgeInstallFolder(text, &Fixed());
  int plain = IsPlainEntryName(text);
  size_t length = strlen(text);

  if (g_lowerMode != kLowerLikeWine) {
    Check(verdict != kFolderAccepted, "accepted although the lowering failed", text);
    Check(judged != kFolderAccepted, "judged acceptable although the lowering failed", text);
    return;
  }

  if (verdict == kFolderAccepted && form[0] == '\\') {
    Check(judged == kFolderShare, "a folder on a share is not refused", text);
  } else if (verdict == kFolderAccepted) {
    CheckWellFormed(form.c_str());
    Check(Resolve(false, form.c_str(), kPathSize, &again) == kFolderAccepted && again == form,
          "the canonical form is not its own canonical form", text);
    Check(namedVerdict == kFolderAccepted && named == form,
          "the form for a folder Windows names differs", text);
    Check(JudgeInstallFolder(form.c_str(), &Fixed()) == judged,
          "the canonical form is judged otherwise than the text", text);
    if (length < static_cast<size_t>(kPathSize)) {
      // The text as the guarded folder: refused itself, in it (sealed), and around it.
      OneGuard sealed(text, true), wellKnown(text, false);
      Check(JudgeInstallFolder(text, &sealed) == kFolderSealed, "a sealed folder is not refused",
            text);
      Check(JudgeInstallFolder(text, &wellKnown) == kFolderWellKnown,
            "a well-known folder is not refused", text);
      std::string child = form + "\\tolvane";
      if (child.size() < static_cast<size_t>(kPathSize))
        Check(JudgeInstallFolder(child.c_str(), &sealed) == kFolderSealed,
              "a folder in a sealed folder is not refused", text);
      size_t cut = form.rfind('\\');
      if (cut > 2) {
        std::string parent = form.substr(0, cut);
        Check(JudgeInstallFolder(parent.c_str(), &wellKnown) == kFolderWellKnown,
              "a folder around a well-known folder is not refused", text);
      }
    }
  } else {
    Check(judged == verdict, "the guard's verdict differs from the text's", text);
  }
  if (judged == kFolderAccepted) Check(verdict == kFolderAccepted, "judged but not accepted", text);

  if (plain) {
    Check(length > 0 && !strpbrk(text, "\\/:"), "a plain name holds a separator or colon", text);
    std::string joined = std::string("c:\\tolvane\\") + text;
    if (joined.size() < static_cast<size_t>(kPathSize)) {
      // Accepted as an entry of that folder, or refused as no plain path (a pair the code page
      // does not define, which no folder search returns); never a folder elsewhere.
      std::string inFolder;
      FolderVerdict entry = Resolve(false, joined.c_str(), kPathSize, &inFolder);
      Check(entry == kFolderMalformed ||
                (entry == kFolderAccepted && inFolder.compare(0, 11, "c:\\tolvane\\") == 0 &&
                 inFolder.find('\\', 11) == std::string::npos),
            "a plain name does not name an entry of its folder", text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  g_input = data;
  g_inputSize = size;
  switch (data[0] & 3) {
    case 2:
      g_lowerMode = kLowerFails;
      break;
    case 3:
      g_lowerMode = kLowerShortens;
      break;
    default:
      g_lowerMode = kLowerLikeWine;
      break;
  }
  // The text alone in a buffer of its own size, so that reading past its terminator is caught.
  size_t length = 0;
  while (1 + length < size && data[1 + length]) ++length;
  char* text = new char[length + 1];
  memcpy(text, data + 1, length);
  text[length] = 0;
  CheckText(text);
  delete[] text;
  g_lowerMode = kLowerLikeWine;
  return 0;
}
