// Replays fuzz inputs through a target's entry point without the fuzzer: each argument is a
// file, or a directory whose files are all replayed. Ordinary compilers build this, so every
// build checks the committed corpus and the inputs that once broke something.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  // The paths are resolved first: setting up moves into a scratch run directory.
  std::vector<fs::path> inputs;
  for (int index = 1; index < argc; ++index) {
    const fs::path path = fs::absolute(argv[index]);
    if (!fs::exists(path)) {
      fprintf(stderr, "no such input: %s\n", argv[index]);
      return 1;
    }
    if (fs::is_directory(path)) {
      for (const auto& entry : fs::directory_iterator(path)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else {
      inputs.push_back(path);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  LLVMFuzzerInitialize(&argc, &argv);
  if (inputs.empty()) {
    fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  for (const fs::path& path : inputs) {
    std::ifstream stream(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  printf("replayed %zu inputs\n", inputs.size());
  return 0;
}
