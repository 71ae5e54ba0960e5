// Builds registry trees from a compact description and reads them back, for tests that work on
// Wine's real registry. A description lists entries relative to a base key:
//   "A\\B"            the key A\B (and A above it)
//   "A\\B:name=data"  a REG_SZ value of A\B
//   "A:=data"         the default value of A
//   ":name=data"      a value of the base key itself
//   "A\\L <link>"     a registry link key L, as a tree read back lists it (MakeLink makes one)
// A tree read back lists every key and every value, each on its own line, sorted; a link is
// listed, never followed. Key names may be of any length the registry allows in the ANSI code
// page, 255 characters of two bytes each included.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

typedef std::vector<std::string> Tree;

// Creates base (and any key above it) and every entry of tree below it.
void BuildTree(HKEY root, const std::string& base, const Tree& tree);
// Every key and value below base, and base's own values; exists tells whether base exists.
std::set<std::string> ReadTree(HKEY root, const std::string& base, bool* exists = nullptr);
// The description with every key above an entry listed too, in the form ReadTree gives.
std::set<std::string> Expand(const Tree& tree);
bool KeyExists(HKEY root, const std::string& path);
// Deletes the key at path with everything below it; a link below is deleted as a link, never
// through it.
void DeleteTree(HKEY root, const std::string& path);

// Makes path (under root; the keys above it must exist) a registry link to the existing key
// target under targetRoot, as Windows' own CurrentControlSet is one.
void MakeLink(HKEY root, const std::string& path, HKEY targetRoot, const std::string& target);

// Checks that base exists and holds exactly the entries of the description.
void ExpectTree(HKEY root, const std::string& base, const Tree& tree);
// Lists the lines of a tree, for a failure message.
std::string Lines(const std::set<std::string>& lines);

// The real open and close, counted, for stand-ins that check every handle opened is closed.
struct HandleCount {
  int opens, closes;
};
HandleCount& Handles();
LONG CountedOpen(HKEY root, const char* path, REGSAM access, HKEY* key);
LONG CountedOpenItself(HKEY root, const char* path, REGSAM access, HKEY* key);  // the link itself
LONG CountedClose(HKEY key);
// The real deletion through a key's handle, from inside a stand-in for it.
LONG RealDeleteKeyItself(HKEY key);

// Failures name the line of the test that built or checked the tree.
#define BUILD_TREE(root, base, ...)         \
  do {                                      \
    SCOPED_TRACE("tree built here");        \
    BuildTree(root, base, __VA_ARGS__);     \
  } while (0)
#define EXPECT_TREE(root, base, ...)        \
  do {                                      \
    SCOPED_TRACE("tree checked here");      \
    ExpectTree(root, base, __VA_ARGS__);    \
  } while (0)
