#include <gtest/gtest.h>

#include <string>

#include "program/program_image.h"
#include "program/program_writer.h"
#include "program/tagged_file.h"
#include "pxc_builder.h"

namespace pexo {
namespace {

// Files from the library writer, which was written separately, must load.
TEST(WriterRoundTrip, WrittenProgramLoads) {
  ProgramWriter w;
  w.add_system("query_string");
  w.add_global("Counter");
  int32_t seg = w.add_segment();
  w.segment_code(seg)->assign("\x01\x00\x02\x00", 4);
  int32_t f = w.add_function("Twice", -1, 0, seg, 2);
  w.add_parameter(f, "n", -1, true);
  w.add_local(f, "tmp");
  w.add_function("ext_call", -1, 0x01, -1, -1);
  int32_t lang = w.add_language("en-US");
  int32_t piece = w.add_piece(1, w.intern("Hi"), -1);
  w.add_localized_text(lang, "greet", -1, piece);
  std::string bytes;
  String error;
  ASSERT_TRUE(w.build(&bytes, &error)) << error.c_str();

  TaggedFile file;
  ASSERT_TRUE(file.open("w.pxc", testing::Stream(bytes))) << file.last_error().c_str();
  ProgramImage image;
  ASSERT_TRUE(image.load(file)) << image.error().c_str();
  EXPECT_EQ(image.global_names().count(), 1);
  Function* twice = image.functions().find("TWICE", -1);
  ASSERT_NE(twice, nullptr);
  ASSERT_EQ(twice->parameters().size(), 1u);
  EXPECT_TRUE(twice->parameters()[0].by_reference);
  EXPECT_EQ(twice->locals().count(), 2);
  EXPECT_NE(image.functions().find("Ext_Call", -1), nullptr);
  EXPECT_EQ(image.segments().start_segment()->length(), 4);
  LocalizedIndex* index = image.localized().index(file, 0);
  ASSERT_NE(index, nullptr) << image.localized().error().c_str();
  EXPECT_EQ(index->keys().size(), 1u);
}

}  // namespace
}  // namespace pexo
