// The fixed-seed run: texts of every kind from the generator through the fuzz harness's checks,
// under the same sanitizers, each with the lowering as Wine does it and every eighth also with a
// failing and a shortening one. With --corpus it also writes the first texts of each kind as the
// fuzzer's starting corpus.
//   guard_fuzz_replay [--seed N] [--per-kind N] [--corpus DIR]
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "../generator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  uint64_t seed = 34;
  long perKind = 3000;
  const char* corpus = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--seed"))
      seed = strtoull(argv[i + 1], nullptr, 0);
    else if (!strcmp(argv[i], "--per-kind"))
      perKind = strtol(argv[i + 1], nullptr, 0);
    else if (!strcmp(argv[i], "--corpus"))
      corpus = argv[i + 1];
    else {
      fprintf(stderr, "usage: guard_fuzz_replay [--seed N] [--per-kind N] [--corpus DIR]\n");
      return 2;
    }
  }
  TextGenerator generator(seed, DefaultVocabulary());
  long texts = 0;
  for (int kind = 0; kind < kTextKinds; ++kind) {
    for (long i = 0; i < perKind; ++i) {
      std::string input = std::string(1, '\0') + generator.Next(kind);
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
      if (i % 8 == 0) {
        for (char mode : {'\2', '\3'}) {
          input[0] = mode;
          LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        }
        input[0] = 0;
      }
      if (corpus && i < 40) {
        std::string path = std::string(corpus) + "/" + TextKindName(kind) + "-" + std::to_string(i);
        FILE* file = fopen(path.c_str(), "wb");
        if (!file || fwrite(input.data(), 1, input.size(), file) != input.size()) {
          fprintf(stderr, "guard_fuzz_replay: cannot write %s\n", path.c_str());
          return 1;
        }
        fclose(file);
      }
      ++texts;
    }
  }
  printf("guard_fuzz_replay: seed %llu, %ld texts (%ld of each of %d kinds), every check held\n",
         static_cast<unsigned long long>(seed), texts, perKind, static_cast<int>(kTextKinds));
  return 0;
}
