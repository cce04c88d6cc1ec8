// The fuzz targets' seed corpora and every input that once made a fuzzer find a fault,
// run through the same target bodies in the normal suite: a fault fixed stays fixed, and
// the bodies themselves keep working with the compiler of every build.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/targets/fuzz_targets.h"

namespace vantor::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(std::string_view target, const char* folder) {
  std::vector<fs::path> files;
  const fs::path dir = fs::path(VANTOR_SOURCE_DIR) / "fuzz" / folder / std::string(target);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Replay(const Target& target, const std::vector<fs::path>& files) {
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    const std::string bytes = ReadAll(file);
    EXPECT_EQ(target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

TEST(FuzzCorpus, EverySeedRunsThroughItsTarget) {
  for (const Target& target : kTargets) {
    SCOPED_TRACE(std::string(target.name));
    const std::vector<fs::path> seeds = InputsOf(target.name, "corpus");
    EXPECT_FALSE(seeds.empty()) << "every target has seeds";
    Replay(target, seeds);
  }
}

// Inputs that found a fault (fuzz/regressions/<target>/, named after what they found).
TEST(FuzzCorpus, InputsThatFoundFaultsRunCleanly) {
  for (const Target& target : kTargets) {
    SCOPED_TRACE(std::string(target.name));
    Replay(target, InputsOf(target.name, "regressions"));
  }
}

// The empty input and a few plain ones: no target needs more than nothing.
TEST(FuzzCorpus, TrivialInputs) {
  const std::vector<std::string> inputs = {"", std::string(1, '\0'), std::string(64, '\xFF'),
                                           std::string(300, '\0')};
  for (const Target& target : kTargets) {
    for (const std::string& input : inputs) {
      EXPECT_EQ(target.run(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), 0)
          << target.name;
    }
  }
}

}  // namespace
}  // namespace vantor::fuzz
