// The seed corpus of the fuzz targets (and any input the fuzzer found worth
// keeping there), replayed through the same entries: every input ends in a
// reading or an InputError, under the sanitizers too.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "fuzz/fuzz_entries.hpp"
#include "test_support.hpp"

namespace fiamma {
namespace {

TEST(FuzzCorpus, EveryInputIsReadOrRefused) {
  for (const auto& folder : std::filesystem::directory_iterator(testing::source_dir() / "tests/fuzz/corpus")) {
    const auto entry = fuzz::entry(folder.path().filename().string());
    ASSERT_NE(entry, nullptr) << folder.path();
    for (const auto& file : std::filesystem::directory_iterator(folder.path())) {
      const std::string bytes = testing::read_file(file.path());
      entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
  }
  std::filesystem::remove_all(std::filesystem::temp_directory_path() / ("fiamma_fuzz_" + std::to_string(::getpid())));
}

}  // namespace
}  // namespace fiamma
