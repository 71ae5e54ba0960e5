// Times the purge (RemoveSubkey: the key opened as itself, emptied by PurgeKey through handles and
// deleted through its own handle) against Windows' own RegDeleteTreeA and
// SHDeleteKeyA on identical generated trees under HKEY_CURRENT_USER\Software\TolvaneBench, a
// small tree and the same shape four times wider at the top, over several rounds. Prints each
// method's median and fastest times, their ratios to RegDeleteTreeA and their growth from the
// small tree to the large one (4.0 is linear). Run it with scripts/bench-registry [rounds].
#include <shlwapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "registry/purge.h"

namespace {

const char kParent[] = "Software\\TolvaneBench";
const char kTree[] = "Tree";
const int kValuesPerKey = 5;

struct Shape {
  const char* name;
  int fanOut[4];  // subkeys per key on each of the four levels
};
const Shape kShapes[] = {{"small", {5, 6, 6, 10}}, {"large", {20, 6, 6, 10}}};

enum Method { kPurge, kDeleteTree, kShDeleteKey, kMethodCount };
const char* const kMethodNames[kMethodCount] = {"RemoveSubkey", "RegDeleteTreeA",
                                                "SHDeleteKeyA"};

// Adds the levels from level on below key; returns the number of keys made.
int Grow(HKEY key, const Shape& shape, int level) {
  if (level == 4) return 0;
  int made = 0;
  for (int i = 0; i < shape.fanOut[level]; ++i) {
    char name[16];
    sprintf(name, "k%d_%d", level, i);
    HKEY child;
    if (RegCreateKeyExA(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr)) {
      fprintf(stderr, "cannot create %s\n", name);
      exit(1);
    }
    for (int v = 0; v < kValuesPerKey; ++v) {
      char value[16], data[32];
      sprintf(value, "v%d", v);
      int length = sprintf(data, "data %d of %s", v, name);
      RegSetValueExA(child, value, 0, REG_SZ, reinterpret_cast<BYTE*>(data), length + 1);
    }
    made += 1 + Grow(child, shape, level + 1);
    RegCloseKey(child);
  }
  return made;
}

int BuildTree(HKEY parent, const Shape& shape) {
  HKEY top;
  RegCreateKeyExA(parent, kTree, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &top, nullptr);
  int keys = Grow(top, shape, 0);
  RegCloseKey(top);
  return keys;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  static LARGE_INTEGER frequency;
  if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Deletes the tree with one method; returns the seconds it took.
double Delete(HKEY parent, Method method) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  switch (method) {
    case kPurge:
      RemoveSubkey(parent, kTree, kFamilyNt, kMaxPurgeDepth);
      break;
    case kDeleteTree:
      RegDeleteTreeA(parent, kTree);
      break;
    default:
      SHDeleteKeyA(parent, kTree);
      break;
  }
  QueryPerformanceCounter(&end);
  HKEY left;
  if (RegOpenKeyExA(parent, kTree, 0, KEY_READ, &left) == ERROR_SUCCESS) {
    fprintf(stderr, "%s left the tree behind\n", kMethodNames[method]);
    exit(1);
  }
  return Seconds(start, end);
}

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  size_t n = times.size();
  return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 5;
  if (rounds < 1) rounds = 1;
  HKEY parent;
  SHDeleteKeyA(HKEY_CURRENT_USER, kParent);
  RegCreateKeyExA(HKEY_CURRENT_USER, kParent, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent,
                  nullptr);

  // Medians, and minimums: on a shared machine the fastest round is the least disturbed.
  double median[2][kMethodCount], fastest[2][kMethodCount];
  int keys[2];
  for (int s = 0; s < 2; ++s) {
    std::vector<double> times[kMethodCount];
    for (int round = 0; round < rounds; ++round) {
      // The methods take turns going first, so that no one of them always meets a fresh server.
      for (int turn = 0; turn < kMethodCount; ++turn) {
        Method method = Method((round + turn) % kMethodCount);
        keys[s] = BuildTree(parent, kShapes[s]);
        times[method].push_back(Delete(parent, method));
      }
    }
    printf("%s tree: %d keys below the top, %d values each, %d rounds\n", kShapes[s].name,
           keys[s], kValuesPerKey, rounds);
    for (int m = 0; m < kMethodCount; ++m) {
      median[s][m] = Median(times[m]);
      fastest[s][m] = *std::min_element(times[m].begin(), times[m].end());
      printf("  %-24s median %8.1f ms   min %8.1f ms   max %8.1f ms\n", kMethodNames[m],
             median[s][m] * 1000, fastest[s][m] * 1000,
             *std::max_element(times[m].begin(), times[m].end()) * 1000);
    }
  }

  printf("\nratio to RegDeleteTreeA, and growth from the small tree to the large one (keys x%.2f)\n",
         double(keys[1]) / keys[0]);
  printf("%-24s %-7s %8s %8s %8s\n", "method", "of", "small", "large", "growth");
  for (int m = 0; m < kMethodCount; ++m) {
    for (int of = 0; of < 2; ++of) {
      double(*t)[kMethodCount] = of ? fastest : median;
      printf("%-24s %-7s %8.2f %8.2f %8.2f\n", of ? "" : kMethodNames[m], of ? "min" : "median",
             t[0][m] / t[0][kDeleteTree], t[1][m] / t[1][kDeleteTree], t[1][m] / t[0][m]);
    }
  }
  RegCloseKey(parent);
  SHDeleteKeyA(HKEY_CURRENT_USER, kParent);
  return 0;
}
