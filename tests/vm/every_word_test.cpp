// Every word of the 16-bit space against the opcode table: a listed word is
// executed or, when its subsystem is not built yet, answered as not
// implemented under its tag after popping its attributes; any other word is
// an illegal instruction. And the committed instruction reference is the one
// the table makes.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "host/tag_instruction_set.h"
#include "program/segment.h"
#include "vm/instruction_reference.h"
#include "program/opcodes.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

constexpr int32_t kPushed = 9;  // more than any instruction's fixed attribute count

struct Outcome {
  int result;
  bool fatal;
  std::string error;
  std::vector<RuntimeReport> runtime;
  int32_t depth;
};

// Runs `word` (operands all zero) on a fresh machine of the loaded program,
// with kPushed integers on its stack; `table` gives the tag instructions.
Outcome RunWord(Machine& loaded, uint16_t word, const TagInstructionTable* table = nullptr) {
  FakeHost app;
  ProgramContext context;
  context.application = &app;
  context.dictionary = &loaded.script.image().dictionary();
  context.system = loaded.script.system();
  context.globals = loaded.script.globals();
  context.segments = &loaded.script.image().segments();
  context.functions = &loaded.script.image().functions();
  context.program_path = "w.pxc";
  context.tag_instructions = table;
  PexoVM vm(context);
  std::unique_ptr<Segment> segment = Segment::Create(7, 32);
  segment->put_word(0, word);
  segment->set_length(InstructionSize(word));
  PexoVM_Stack stack(&vm);
  for (int32_t i = 0; i < kPushed; ++i) stack.push(1);
  int result = vm.run_segment(segment.get(), &stack);
  return Outcome{result, vm.fatal(), vm.last_error().c_str(), app.runtime, stack.depth()};
}

TEST(EveryWord, IsExecutedOrNotImplementedUnderItsTagOrIllegal) {
  Machine loaded;
  ASSERT_TRUE(loaded.Load(".global g\n.segment main start\n pushc \"x\"\n"));
  int executed = 0, pending = 0, illegal = 0;
  for (uint32_t w = 0; w <= 0xFFFF; ++w) {
    uint16_t word = static_cast<uint16_t>(w);
    const OpcodeInfo* info = FindOpcode(word);
    Outcome got = RunWord(loaded, word);
    bool was_illegal = got.error.find("Illegal Instruction") != std::string::npos;
    bool was_pending = !got.runtime.empty() &&
                       got.runtime[0].text.find(": Not implemented\n") != std::string::npos;
    if (!info) {
      ++illegal;
      EXPECT_EQ(got.error, "Fatal error in w.pxc @ [00000007:00000000]: Illegal Instruction\n")
          << std::hex << w;
      EXPECT_EQ(got.result, 0) << std::hex << w;
      EXPECT_EQ(got.depth, kPushed) << std::hex << w;
    } else if (info->pending) {
      ++pending;
      ASSERT_EQ(got.runtime.size(), 1u) << info->mnemonic;
      EXPECT_TRUE(was_pending) << info->mnemonic;
      EXPECT_EQ(got.runtime[0].tag, PendingInstructionTag(word)) << info->mnemonic;
      EXPECT_EQ(got.depth, kPushed - (info->pops < 0 ? 0 : info->pops)) << info->mnemonic;
    } else {
      ++executed;
      EXPECT_FALSE(was_illegal) << info->mnemonic;
      EXPECT_FALSE(was_pending) << info->mnemonic;
      EXPECT_LT(PendingInstructionTag(word), 0) << info->mnemonic;
    }
  }
  EXPECT_EQ(executed, 91);
  EXPECT_EQ(pending, 57);
  EXPECT_EQ(illegal, 65536 - 148);
}

// The engine's table leaves no instruction of the set unimplemented: every
// word whose work belongs to a layer above the machine has a handler, and
// run by a machine with that table (no files, no databases, no network) it
// answers with its own outcome, never "Not implemented".
TEST(EveryWord, TheEngineHandlesEveryPendingWord) {
  const TagInstructionTable* engine = EngineTagInstructions();
  Machine loaded;
  ASSERT_TRUE(loaded.Load(".global g\n.segment main start\n pushc \"x\"\n"));
  int pending = 0;
  for (uint32_t w = 0; w <= 0xFFFF; ++w) {
    uint16_t word = static_cast<uint16_t>(w);
    const OpcodeInfo* info = FindOpcode(word);
    if (!info || !info->pending) continue;
    ++pending;
    EXPECT_NE(engine->Get(word), nullptr) << info->mnemonic;
    Outcome got = RunWord(loaded, word, engine);
    for (const RuntimeReport& report : got.runtime)
      EXPECT_EQ(report.text.find("Not implemented"), std::string::npos)
          << info->mnemonic << ": " << report.text;
    EXPECT_EQ(got.error.find("Not implemented"), std::string::npos) << info->mnemonic;
  }
  EXPECT_GT(pending, 0);
}

TEST(EveryWord, NotImplementedTagsFollowTheTagOfTheirSubsystem) {
  struct Case {
    const char* mnemonic;
    int32_t tag;
  } cases[] = {{"dbopen", 28}, {"dbopenx", 28}, {"dbrevealstructureagg", 43}, {"dbcommand", 58},
               {"import_stop", 3}, {"pop3delete", 10}, {"op_smtpn", 11}, {"op_httpx", 14},
               {"op_commerce_stop", 20}, {"op_do_file", 22}, {"capture_end", 59},
               {"asyncn", 75}, {"poplvnc", 25}, {"localizev", 24}};
  for (const Case& c : cases) {
    const OpcodeInfo* info = FindOpcodeByMnemonic(c.mnemonic);
    ASSERT_NE(info, nullptr) << c.mnemonic;
    EXPECT_EQ(PendingInstructionTag(info->word), c.tag) << c.mnemonic;
  }
  EXPECT_EQ(PendingInstructionTag(0x0016), -1);  // add runs
  EXPECT_EQ(PendingInstructionTag(0x020F), -1);  // no instruction
}

TEST(InstructionReference, CommittedDocumentIsTheOneTheTableMakes) {
  std::ifstream file(std::string(PEXO_SOURCE_DIR) + "/docs/instructions.md", std::ios::binary);
  ASSERT_TRUE(file.good());
  std::stringstream committed;
  committed << file.rdbuf();
  String made;
  WriteInstructionReference(&made, EngineTagInstructions());
  EXPECT_TRUE(committed.str() == made.c_str())
      << "docs/instructions.md is stale: run scripts/instructions_doc.sh";
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
