// Hostile scripts run on the machine: a value made to hold itself, and a
// value nested a million levels deep, both printed and freed at the end.
#include <gtest/gtest.h>

#include "../vm/vm_harness.h"
#include "values/aggregate_index.h"

namespace pexo {
namespace {

using testing_vm::Machine;

TEST(ScriptValues, ElementAliasOfItsOwnArrayIsRefused) {
  Machine m;
  // a[1] would become an alias of a; printing a used to recurse forever.
  ASSERT_EQ(1, m.Run(".global a\n.segment main start\n"
                     "pushc \"x\"\npopg a\n"
                     "pushg a\npushg a\npushi 1\nelem\nrefer\n"
                     "pushc \"v\"\npushg a\npushi 2\nelem\nstore\n"
                     "pushc \"<\"\npushg a\ncat\npushc \">\"\ncat\nout\nexit\n"));
  EXPECT_TRUE(m.app.fatal.empty());
  EXPECT_EQ("<v>", m.app.output);  // the empty first element adds no comma
  Variable* a = m.GlobalVariable("a");
  ASSERT_NE(nullptr, a);
  Variable* first = a->Element(AggregateIndex(1), 0);
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(first, first->RealIdentity());
}

TEST(ScriptValues, MillionLevelNestBuiltPrintedCopiedAndFreed) {
  Machine m;
  // x walks down root[1][1]...; copy := root copies the whole nest.
  ASSERT_EQ(1, m.Run(".global root, x, i, copy\n.segment main start\n"
                     "pushg root\nbindg x\nstoregi i, 0\n"
                     "loop: cmpgi i, 1000000\njmp_ge done\n"
                     "pushg x\npushi 1\nelem\nbindg x\nincg i, 1\njmp loop\n"
                     "done: pushc \"leaf\"\npushg x\nstore\n"
                     "pushg root\npopg copy\n"
                     "pushc \"changed\"\npushg x\nstore\n"
                     "pushc \"<\"\npushg copy\ncat\npushc \"|\"\ncat\n"
                     "pushg root\ncat\npushc \">\"\ncat\nout\nexit\n"));
  EXPECT_TRUE(m.app.fatal.empty());
  EXPECT_EQ("<leaf|changed>", m.app.output);
  // The machine and the globals go with the harness, freeing both nests.
}

}  // namespace
}  // namespace pexo
