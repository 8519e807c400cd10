// Comparisons, logic, jumps and the run loop's own checks.
#include <chrono>
#include <string>
#include <thread>

#include "program/segment.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

struct Case {
  const char* code;
  const char* expected;
};

void RunTable(const Case* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    Machine m;
    std::string program = std::string(".segment main start\n") + cases[i].code + "\n out\n";
    EXPECT_EQ(m.Run(program), 1) << cases[i].code;
    EXPECT_EQ(m.app.output, cases[i].expected) << cases[i].code;
  }
}

TEST(Comparison, NumericWhenBothAreNumbersElseBytes) {
  const Case cases[] = {
      {"pushc \"10\"\n pushc \"9\"\n cmp", "1"},
      {"pushc \"abc\"\n pushc \"abd\"\n cmp\n pushi 0\n lt", "1"},
      {"pushc \"1.0\"\n pushc \"1\"\n cmp", "0"},
      {"pushc \"\"\n pushc \"0\"\n eq", "1"},
      {"pushc \"a\"\n pushc \"\"\n gt", "1"},
      {"pushc \"ABC\"\n pushc \"abc\"\n lt", "1"},
      {"pushc \"0x10\"\n pushi 16\n eq", "1"},
      {"pushi -5\n pushi 3\n cmp", "-1"},
      {"pushi 3\n pushi 3\n ge", "1"},
      {"pushi 3\n pushi 4\n le", "1"},
      {"pushi 3\n pushi 4\n ne", "1"},
      {"pushf 2.5\n pushi 2\n gt", "1"},
      {"pushc \"ab\"\n pushc \"abc\"\n cmp", "-1"},
  };
  RunTable(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(Logic, TruthRules) {
  const Case cases[] = {
      {"pushc \"0.0\"\n not", "1"},
      {"pushc \"0.0.0\"\n not", "0"},
      {"pushc \"\"\n not", "1"},
      {"pushc \"false\"\n not", "0"},
      {"pushi 1\n pushc \"0\"\n and", "0"},
      {"pushi 1\n pushc \"x\"\n and", "1"},
      {"pushi 0\n pushc \"0.\"\n or", "0"},
      {"pushi 0\n pushi 7\n or", "1"},
      {"pushf 0.0\n not", "1"},
  };
  RunTable(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(Jumps, RelativeToTheNextInstruction) {
  Machine m;
  // jmp 0 goes on with the next instruction; a forward jump of 12 skips
  // two pushc/out pairs of 6 + 2 bytes... use labels for the rest.
  ASSERT_EQ(m.Run(".segment main start\n"
                  " jmp 0\n"
                  " pushc \"a\"\n out\n"
                  " pushi 1\n pushi 1\n eq\n jmp_eq skip\n"  // equal: does not jump
                  " pushc \"b\"\n out\n"
                  "skip:\n"
                  " pushi 1\n pushi 2\n eq\n jmp_eq end\n"  // false: jumps
                  " pushc \"c\"\n out\n"
                  "end:\n"
                  " pushi -1\n jmp_lt l1\n pushc \"X\"\n out\n"
                  "l1: pushi 1\n jmp_gt l2\n pushc \"X\"\n out\n"
                  "l2: pushi 0\n jmp_le l3\n pushc \"X\"\n out\n"
                  "l3: pushi 0\n jmp_ge l4\n pushc \"X\"\n out\n"
                  "l4: pushi 3\n jmp_ne l5\n pushc \"X\"\n out\n"
                  "l5: pushc \"d\"\n out\n"),
            1);
  EXPECT_EQ(m.app.output, "abd");
}

TEST(Jumps, BackwardLoopAndGlobalShortcuts) {
  Machine m;
  ASSERT_EQ(m.Run(".global i, n, r\n.segment main start\n"
                  " storegi i, 0\n storegi n, 7\n"
                  "top:\n"
                  " incg i, 1\n cmpgi i, 10\n jmp_lt top\n"
                  " modgg i, n\n popg r\n"
                  " cmpgg i, n\n out\n"
                  " cmpgi i, 10\n out\n"),
            1);
  EXPECT_EQ(m.Global("i"), "10");
  EXPECT_EQ(m.Global("r"), "3");
  EXPECT_EQ(m.app.output, "10");
}

TEST(RunLoop, ShortSegmentsEndAtOnce) {
  Machine empty;
  EXPECT_EQ(empty.Run(".segment main start\n"), 1);
  Machine one_byte;
  EXPECT_EQ(one_byte.Run(".segment main start\n .bytes 0x15\n"), 1);
  EXPECT_TRUE(one_byte.app.fatal.empty());
  // An opcode in the last two bytes runs; a trailing single byte is ignored.
  Machine trailing;
  EXPECT_EQ(trailing.Run(".segment main start\n pushc \"z\"\n .word 0x0015\n .bytes 0x01\n"), 1);
  EXPECT_EQ(trailing.app.output, "z");
  EXPECT_TRUE(trailing.app.fatal.empty());
}

TEST(RunLoop, IllegalWordsStopTheRun) {
  for (const char* word : {"0x0001", "0x020F", "0xFFFF"}) {
    Machine m;
    EXPECT_EQ(m.Run(std::string(".segment main start\n pushc \"a\"\n out\n .word ") + word +
                    "\n pushc \"b\"\n out\n"),
              0)
        << word;
    EXPECT_EQ(m.app.output, "a") << word;
    ASSERT_EQ(m.app.fatal.size(), 1u) << word;
    EXPECT_EQ(m.app.fatal[0], "Fatal error in dir/test.pxc @ [00000000:00000008]: Illegal Instruction\n");
    EXPECT_TRUE(m.vm->fatal());
  }
}

TEST(RunLoop, OperandPastTheEndIsIllegal) {
  // pushi announces 4 operand bytes but only 2 follow.
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n .word 0x4002\n .bytes 1, 2\n"), 0);
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_NE(m.app.fatal[0].find("Illegal Instruction"), std::string::npos);
  // pushf needs 8 bytes, pushdc 4 + 4: both decode fully when present.
  Machine full;
  EXPECT_EQ(full.Run(".segment main start\n pushf 1.5\n out\n"), 1);
  EXPECT_EQ(full.app.output, "1.5");
}

TEST(RunLoop, JumpIntoAnInstructionRunsWhatItsBytesSay) {
  // The operand of `pushi 21` is the bytes 15 00 00 00: read from the jump's
  // target they are `out` and `noop`, after which the code is aligned again.
  Machine m;
  EXPECT_EQ(m.Run(".segment main start\n pushc \"a\"\n jmp 2\n pushi 21\n pushc \"b\"\n out\n"), 1);
  EXPECT_EQ(m.app.output, "ab");
  EXPECT_TRUE(m.app.fatal.empty());
  // Backwards into the same operand, from a loop.
  Machine loop;
  EXPECT_EQ(loop.Run(".global i\n.segment main start\n pushc \"x\"\n jmp over\n"
                     " pushi 21\nover: incg i, 1\n cmpgi i, 3\n jmp_gt done\n pushc \"y\"\n"
                     " jmp -42\ndone:\n"),
            1);
  EXPECT_EQ(loop.app.output, "yyy");
}

TEST(RunLoop, ComparisonThenConditionalJump) {
  // Each conditional jump after cmpgi (the loop may take the pair in one
  // step) and after cmp, with the global below, equal to and above 5.
  const char* jumps[] = {"jmp_eq", "jmp_ne", "jmp_lt", "jmp_gt", "jmp_le", "jmp_ge"};
  const char* expected[] = {"010", "101", "100", "001", "110", "011"};
  for (int j = 0; j < 6; ++j) {
    for (const char* compare : {" cmpgi g, 5\n", " pushg g\n pushi 5\n cmp\n"}) {
      std::string program = ".global g\n.segment main start\n";
      for (int value = 4; value <= 6; ++value) {
        std::string label = "l" + std::to_string(value);
        program += " storegi g, " + std::to_string(value) + "\n" + compare + " " + jumps[j] +
                   " " + label + "\n pushc \"0\"\n out\n jmp e" + label + "\n" + label +
                   ": pushc \"1\"\n out\ne" + label + ":\n";
      }
      Machine m;
      EXPECT_EQ(m.Run(program), 1);
      EXPECT_EQ(m.app.output, expected[j]) << jumps[j] << compare;
    }
  }
}

TEST(RunLoop, CodeWrittenBetweenRunsIsReadAgain) {
  Machine m;
  ASSERT_TRUE(m.Load(".segment main start\n pushc \"a\"\n out\n"));
  EXPECT_EQ(m.vm->run_program(), 1);
  // `out` becomes `pop`: the second run writes nothing.
  Segment* main = m.script.image().segments().start_segment();
  ASSERT_TRUE(main->put_word(6, 0x000B));
  EXPECT_EQ(m.vm->run_program(), 1);
  EXPECT_EQ(m.app.output, "a");
}

TEST(RunLoop, IntegerOperatorsAtTheEdgesOfTheRange) {
  const Case cases[] = {
      {"pushi 2147483647\n pushi 1\n add", "2147483648"},
      {"pushi -2147483647\n pushi -1\n add", "-2147483648"},
      {"pushi -2147483648\n pushi 0\n add", "-2147483648"},
      {"pushi -2147483647\n pushi 1\n sub", "-2147483648"},
      {"pushi 2147483647\n pushi -1\n sub", "2147483648"},
      {"pushi -2147483648\n pushi 0\n sub", "-2147483648"},
      {"pushi -5\n pushi 7\n add\n pushi 3\n sub", "-1"},
      {"pushi -2147483648\n pushi 2147483647\n lt", "1"},
      {"pushi 3\n pushi 3\n le\n pushi 1\n eq", "1"},
      {"pushi 3\n pushc \"3.0\"\n ge", "1"},
      {"pushc \"b\"\n pushi 3\n gt", "1"},
  };
  RunTable(cases, sizeof(cases) / sizeof(cases[0]));
}

TEST(RunLoop, JumpsBeforeTheSegmentStartAreIllegal) {
  // Backwards past offset 0, and far enough to leave the 32-bit range; a
  // jump past the end simply ends the run.
  struct Case {
    const char* jump;
    int result;
  } cases[] = {{" jmp -100\n", 0}, {" .word 0x4025\n .dword -2147483647\n", 0},
               {" .word 0x4025\n .dword 2147483647\n", 1}, {" jmp 1000\n", 1}};
  for (const Case& c : cases) {
    Machine m;
    EXPECT_EQ(m.Run(std::string(".segment main start\n pushc \"a\"\n out\n") + c.jump +
                    " pushc \"b\"\n out\n"),
              c.result)
        << c.jump;
    EXPECT_EQ(m.app.output, "a") << c.jump;
    if (c.result == 0) {
      ASSERT_EQ(m.app.fatal.size(), 1u) << c.jump;
      EXPECT_NE(m.app.fatal[0].find(": Illegal Instruction\n"), std::string::npos);
    } else {
      EXPECT_TRUE(m.app.fatal.empty()) << c.jump;
    }
  }
}

TEST(RunLoop, ExitAndTimeout) {
  Machine exits;
  EXPECT_EQ(exits.Run(".segment main start\n pushc \"a\"\n out\n exit\n pushc \"b\"\n out\n"), 1);
  EXPECT_EQ(exits.app.output, "a");
  EXPECT_EQ(exits.flags.exit.load(), 1);

  Machine alias;
  EXPECT_EQ(alias.Run(".segment main start\n .word 0x0116\n pushc \"b\"\n out\n"), 1);
  EXPECT_EQ(alias.app.output, "");

  Machine timed;
  ASSERT_TRUE(timed.Load(".segment main start\n pushc \"never\"\n out\n"));
  timed.flags.timeout.store(1);
  timed.app.debug_level = 0;
  EXPECT_EQ(timed.vm->run_program(), 0);
  EXPECT_EQ(timed.app.output, "");
  ASSERT_EQ(timed.app.timeouts.size(), 1u);
  EXPECT_EQ(timed.app.timeouts[0], "Application timed out");
  EXPECT_TRUE(timed.vm->fatal());
  // Stopped for good: a second run does nothing and reports nothing more.
  timed.flags.timeout.store(0);
  EXPECT_EQ(timed.vm->run_program(), 0);
  EXPECT_EQ(timed.app.timeouts.size(), 1u);
}

TEST(RunLoop, TimeoutInsideAnInfiniteLoop) {
  Machine m;
  ASSERT_TRUE(m.Load(".global i\n.segment main start\nloop: incg i, 1\n jmp loop\n"));
  // The host's watchdog sets the flag from another thread.
  std::thread watchdog([&m] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m.flags.timeout.store(1);
  });
  EXPECT_EQ(m.vm->run_program(), 0);
  watchdog.join();
  EXPECT_EQ(m.app.timeouts.size(), 1u);
}

TEST(Trace, LineEventsAndFilter) {
  Machine m;
  m.app.debug_level = 0x40000000 | 0x20000000;
  m.app.min_line = 2;
  ASSERT_EQ(m.Run(".segment main start\n"
                  " sourcefile \"page.px\"\n"
                  " lineno 1\n lineno 2\n lineno 2\n lineno 3\n"
                  " sourcefile \"other.px\"\n lineno 3\n"),
            1);
  ASSERT_EQ(m.app.events.size(), 3u);
  EXPECT_EQ(m.app.events[0], "Trace|page.px:2");
  EXPECT_EQ(m.app.events[1], "Trace|page.px:3");
  EXPECT_EQ(m.app.events[2], "Trace|other.px:3");
}

TEST(Trace, DictionaryFlagTurnsTracingOff) {
  Machine m;
  m.app.debug_level = 0x40000000;
  ASSERT_EQ(m.Run(".dictflags 1\n.segment main start\n lineno 5\n"), 1);
  EXPECT_TRUE(m.app.events.empty());
  EXPECT_EQ(m.vm->trace_mask(), 0u);
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
