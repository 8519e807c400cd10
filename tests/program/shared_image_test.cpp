#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "program/program_image.h"
#include "program/program_writer.h"
#include "program/tagged_file.h"
#include "pxc_builder.h"

namespace pexo {
namespace {

std::string Text(const Dictionary& d, int32_t index) {
  int32_t length = 0;
  const char* bytes = d.get(index, &length);
  return bytes ? std::string(bytes, static_cast<size_t>(length)) : "<none>";
}

// A frozen image backs several request images: each request's additions
// (texts, code compiled at run time, library bindings) stay its own, and
// nothing a request does reaches the shared image.
TEST(SharedImage, RequestAdditionsStayWithTheRequest) {
  ProgramWriter w;
  int32_t seg = w.add_segment();
  w.segment_code(seg)->assign("\x01\x00\x02\x00", 4);
  w.add_function("Twice", -1, 0, seg, 0);
  w.add_function("ext_call", -1, 0x01, -1, -1);
  int32_t lang = w.add_language("en-US");
  w.add_localized_text(lang, "greet", -1, w.add_piece(1, w.intern("Hi"), -1));
  std::string bytes;
  String error;
  ASSERT_TRUE(w.build(&bytes, &error)) << error.c_str();
  TaggedFile file;
  ASSERT_TRUE(file.open("w.pxc", testing::Stream(bytes))) << file.last_error().c_str();
  auto shared = std::make_shared<ProgramImage>();
  ASSERT_TRUE(shared->load(file)) << shared->error().c_str();
  ASSERT_TRUE(shared->Freeze(file)) << shared->error().c_str();
  file.close();  // a shared image never reads its file again

  const int32_t base_texts = shared->dictionary().count();
  const int32_t base_segments = shared->segments().count();
  ProgramImage a(shared), b(shared);
  EXPECT_FALSE(a.loads_lazily());
  ASSERT_NE(a.localized().loaded_index(0), nullptr);

  int32_t in_a = a.dictionary().add("only in a", -1);
  EXPECT_EQ(in_a, base_texts);
  EXPECT_EQ(Text(a.dictionary(), in_a), "only in a");
  EXPECT_EQ(b.dictionary().count(), base_texts);
  EXPECT_EQ(shared->dictionary().count(), base_texts);
  EXPECT_EQ(b.dictionary().add("only in b", -1), base_texts);
  EXPECT_EQ(Text(a.dictionary(), in_a), "only in a");
  Function* twice = a.functions().find("twice", -1);
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(Text(a.dictionary(), twice->name_index()), "Twice");

  Segment* added = a.segments().add_segment();
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->number(), base_segments);
  EXPECT_EQ(b.segments().segment(base_segments), nullptr);
  EXPECT_EQ(shared->segments().count(), base_segments);
  EXPECT_TRUE(added->put_word(0, 7));
  Segment* loaded = a.segments().segment(seg);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded, b.segments().segment(seg));  // the code is shared ...
  EXPECT_FALSE(loaded->put_word(0, 7));         // ... and cannot be written
  EXPECT_EQ(loaded->code()[0], 0x01);

  int binding = 0;
  a.functions().find("EXT_CALL", -1)->set_binding(&binding);
  EXPECT_EQ(b.functions().find("ext_call", -1)->binding(), nullptr);
  EXPECT_EQ(shared->functions().find("ext_call", -1)->binding(), nullptr);
  EXPECT_EQ(a.functions().find("twice", -1), b.functions().find("twice", -1));

  Dictionary task_copy(a.dictionary());  // a task's copy keeps both layers
  EXPECT_EQ(Text(task_copy, in_a), "only in a");
  EXPECT_EQ(Text(task_copy, twice->name_index()), "Twice");
  EXPECT_EQ(Text(task_copy, task_copy.count()), "<none>");
}

}  // namespace
}  // namespace pexo
