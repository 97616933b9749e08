// Runs a fuzz target over its seed corpus (and any crash inputs saved beside it) as an ordinary
// test, so that the inputs the fuzzer found keep being checked in every build.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(FuzzCorpusTest, EveryInputRuns) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(FUZZ_CORPUS_DIR)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
              0);
    ++inputs;
  }
  EXPECT_GT(inputs, 0) << "no inputs in " << FUZZ_CORPUS_DIR;
}
