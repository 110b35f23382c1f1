// Replays fuzz inputs through a target's entry point without the fuzzer, so that every build
// checks the committed corpus: each argument is a file, or a directory whose files are replayed.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "fuzz_support.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;  // resolved first: setting up moves into a scratch directory
  for (int index = 1; index < argc; ++index) {
    const fs::path path = fs::absolute(argv[index]);
    if (fs::is_regular_file(path)) inputs.push_back(path);
    for (const auto& entry : fs::is_directory(path) ? fs::directory_iterator(path) : fs::directory_iterator()) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& path : inputs) {
    const std::vector<std::uint8_t> bytes = testing_support::readFileBytes(path);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  printf("replayed %zu inputs\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
