// The seed corpus of the fuzz targets (and any input the fuzzer found worth
// keeping there), replayed through the same entries: every input ends in a
// reading or an InputError, under the sanitizers too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/fuzz_entries.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

TEST(FuzzCorpus, EveryInputIsReadOrRefused) {
  const auto root = testing::source_dir() / "tests/fuzz/corpus";
  int readers = 0;
  for (const char* name : {"configuration", "grid", "restart", "resume_index", "analytic_profile"}) {
    const auto entry = fuzz::entry(name);
    ASSERT_NE(entry, nullptr);
    int inputs = 0;
    for (const auto& file : std::filesystem::directory_iterator(root / name)) {
      std::ifstream in(file.path(), std::ios::binary);
      const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
      entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++inputs;
    }
    EXPECT_GE(inputs, 2) << name;
    ++readers;
  }
  EXPECT_EQ(readers, 5);
  std::filesystem::remove_all(std::filesystem::temp_directory_path() / ("fiamma_fuzz_" + std::to_string(::getpid())));
}

}  // namespace
}  // namespace fiamma
