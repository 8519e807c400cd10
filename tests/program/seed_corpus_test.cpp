#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "program/program_image.h"
#include "program/tagged_file.h"
#include "pxc_builder.h"

namespace pexo {
namespace {

using testing::FunctionSpec;
using testing::ProgramBuilder;
using testing::Stream;

std::string Seed(int which) {
  ProgramBuilder p;
  switch (which) {
    case 0:
      break;  // the smallest program: one segment, nothing else
    case 1:
      p.system_names = {"query_string"};
      p.global_names = {"x", "Total", "name"};
      p.segments = {std::string("\x10\x00\x01\x00\x00\x00", 6), std::string("\x20\x00", 2)};
      p.functions.push_back(FunctionSpec{"Sum", 0, 0, 0, {{"a", false, 0}, {"b", true, 1}}, {"a", "b", "c"}});
      break;
    default:
      p.hash_bits = 1;
      p.languages = {"en-US", "de-DE"};
      p.pieces = {{1, "Hallo ", 1}, {0, "user", -1}};
      p.language_keys[0] = {{"hi", 0}};
      p.language_keys[1] = {{"hi", 0}, {"bye", 1}};
      p.functions.push_back(FunctionSpec{"ext", 1, -1, -1, {}, {}});
      break;
  }
  return p.container().build();
}

// The fuzz target's seeds must stay valid programs; PEXO_WRITE_SEEDS=1
// rewrites them from the builder.
TEST(SeedCorpus, SeedsAreValidPrograms) {
  const std::string dir = std::string(PEXO_SOURCE_DIR) + "/fuzz/corpus/program_loader/";
  const bool write = std::getenv("PEXO_WRITE_SEEDS") != nullptr;
  for (int i = 0; i < 3; ++i) {
    std::string path = dir + "seed" + std::to_string(i) + ".pxc";
    if (write) std::ofstream(path, std::ios::binary) << Seed(i);
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), Seed(i)) << path;
    TaggedFile file;
    ASSERT_TRUE(file.open(path.c_str(), Stream(bytes.str()))) << file.last_error().c_str();
    ProgramImage image;
    EXPECT_TRUE(image.load(file)) << path << ": " << image.error().c_str();
  }
}

}  // namespace
}  // namespace pexo
