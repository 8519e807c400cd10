#include <gtest/gtest.h>

#include <set>
#include <string>

#include "vm/opcodes.h"

namespace pexo {
namespace {

struct Op {
  uint16_t word;
  const char* mnemonic;
};

// The instruction set as documented, kept apart from the engine's table.
const Op kDocumented[] = {
    {0x0000, "noop"},
    {0x4001, "pushc"},
    {0x4002, "pushi"},
    {0x8003, "pushf"},
    {0x4004, "pushs"},
    {0x4005, "pushg"},
    {0x4006, "pushl"},
    {0x0007, "pushd"},
    {0x5008, "pushdc"},
    {0x0009, "pushn"},
    {0x400A, "pushnc"},
    {0x000B, "pop"},
    {0x400C, "pops"},
    {0x400D, "popg"},
    {0x400E, "popl"},
    {0x000F, "popd"},
    {0x5010, "popdc"},
    {0x0011, "popn"},
    {0x4012, "popnc"},
    {0x0013, "spush"},
    {0x0014, "spop"},
    {0x003A, "dup"},
    {0x005B, "swap"},
    {0x505C, "swapn"},
    {0x0042, "store"},
    {0x003E, "elem"},
    {0x003F, "elemq"},
    {0x0040, "memb"},
    {0x0041, "membq"},
    {0x0057, "refer"},
    {0x0055, "refern"},
    {0x4056, "refernc"},
    {0x4053, "bindg"},
    {0x4054, "bindl"},
    {0x005A, "isnull"},
    {0x0016, "add"},
    {0x0017, "sub"},
    {0x0018, "cat"},
    {0x001F, "div"},
    {0x0020, "mul"},
    {0x0021, "mod"},
    {0x0024, "pow"},
    {0x0022, "rounds"},
    {0x0025, "roundf"},
    {0x0019, "bitand"},
    {0x001A, "bitor"},
    {0x001B, "bitxor"},
    {0x001C, "bitoc"},
    {0x001D, "bitsl"},
    {0x001E, "bitsr"},
    {0x0023, "crypt"},
    {0x002C, "cmp"},
    {0x0033, "eq"},
    {0x0034, "ne"},
    {0x0035, "ge"},
    {0x0036, "le"},
    {0x0037, "lt"},
    {0x0038, "gt"},
    {0x002D, "and"},
    {0x002E, "or"},
    {0x0039, "not"},
    {0x002F, "in"},
    {0x0030, "cin"},
    {0x0031, "ein"},
    {0x0032, "ecin"},
    {0x5301, "cmpgg"},
    {0x5302, "cmpgi"},
    {0x5303, "incg"},
    {0x5304, "modgg"},
    {0x5305, "storegi"},
    {0x4025, "jmp"},
    {0x4026, "jmp_eq"},
    {0x4027, "jmp_lt"},
    {0x4028, "jmp_gt"},
    {0x4029, "jmp_le"},
    {0x402A, "jmp_ge"},
    {0x402B, "jmp_ne"},
    {0x403D, "call"},
    {0x003B, "ret"},
    {0x003C, "retn"},
    {0x0043, "exit"},
    {0x0116, "exit"},
    {0x4044, "lineno"},
    {0x404A, "sourcefile"},
    {0x504B, "tagerror"},
    {0x404C, "erroutput"},
    {0x4050, "stdoutput"},
    {0x0052, "errprefix"},
    {0x0015, "out"},
    {0x0051, "out_comp"},
    {0x404D, "poplvnc"},
    {0x404E, "localize"},
    {0x404F, "localizev"},
    {0x0047, "hide"},
    {0x0045, "op_do_file"},
    {0x0046, "op_do_function"},
    {0x0048, "lockfile"},
    {0x0049, "lockfile_end"},
    {0x0058, "capture"},
    {0x0059, "capture_end"},
    {0x4115, "async"},
    {0x5117, "asyncn"},
    {0x0200, "dbopen"},
    {0x0216, "dbopenx"},
    {0x0201, "dbclose"},
    {0x0202, "dbskip"},
    {0x0203, "dbgo"},
    {0x0204, "dbadd"},
    {0x0205, "dbupdate"},
    {0x0206, "dbdelete"},
    {0x0207, "dbundelete"},
    {0x0208, "dbprimary"},
    {0x0209, "dbfind"},
    {0x020A, "dbsetindex"},
    {0x020B, "dbmakeindex"},
    {0x020C, "dbpack"},
    {0x020D, "dbreindex"},
    {0x020E, "dbcreate"},
    {0x0210, "dbopenview"},
    {0x0211, "dbcloseview"},
    {0x0212, "dbquery"},
    {0x0213, "dbfilter"},
    {0x0214, "dbrevealstructuredb"},
    {0x0215, "dbrevealstructureagg"},
    {0x0217, "dbcommit"},
    {0x0218, "dbrollback"},
    {0x0219, "dbtransact"},
    {0x021A, "dbcommand"},
    {0x4101, "import"},
    {0x4102, "importf"},
    {0x4103, "import_loop"},
    {0x4104, "import_stop"},
    {0x0105, "export"},
    {0x4106, "pop3"},
    {0x4107, "pop3loop"},
    {0x4109, "pop3stop"},
    {0x0108, "pop3delete"},
    {0x410A, "op_smtp"},
    {0x5114, "op_smtpn"},
    {0x010B, "op_smtp_end"},
    {0x410C, "op_http"},
    {0x4112, "op_httpx"},
    {0x5113, "op_httpn"},
    {0x410D, "op_http_loop"},
    {0x410E, "op_http_stop"},
    {0x410F, "op_commerce"},
    {0x4110, "op_commerce_loop"},
    {0x4111, "op_commerce_stop"},
};

// Words the listing prints as "Illegal Instruction".
const std::set<uint16_t> kUnlisted = {0x003F, 0x0041, 0x0052, 0x0055, 0x0058, 0x0059, 0x005B, 0x0116,
                                      0x0216, 0x0217, 0x0218, 0x0219, 0x021A, 0x4053, 0x4054, 0x4056,
                                      0x4112, 0x4115, 0x505C, 0x5113, 0x5114, 0x5117};

TEST(Opcodes, TableMatchesTheDocumentedSetExactly) {
  int32_t count = 0;
  const OpcodeInfo* table = OpcodeTable(&count);
  ASSERT_EQ(count, static_cast<int32_t>(sizeof(kDocumented) / sizeof(kDocumented[0])));
  for (const Op& op : kDocumented) {
    const OpcodeInfo* info = FindOpcode(op.word);
    ASSERT_NE(info, nullptr) << std::hex << op.word;
    EXPECT_EQ(info->word, op.word);
    EXPECT_STREQ(info->mnemonic, op.mnemonic) << std::hex << op.word;
    EXPECT_EQ(info->listed, kUnlisted.count(op.word) == 0) << op.mnemonic;
  }
  for (int32_t i = 1; i < count; ++i) EXPECT_LT(table[i - 1].word, table[i].word) << "table not in word order";
}

TEST(Opcodes, EveryOtherWordIsUnknown) {
  std::set<uint16_t> known;
  for (const Op& op : kDocumented) known.insert(op.word);
  int unknown = 0;
  for (uint32_t w = 0; w <= 0xFFFF; ++w) {
    if (!known.count(static_cast<uint16_t>(w))) {
      EXPECT_EQ(FindOpcode(static_cast<uint16_t>(w)), nullptr) << std::hex << w;
      ++unknown;
    }
  }
  EXPECT_EQ(unknown, 65536 - static_cast<int>(known.size()));
  EXPECT_EQ(FindOpcode(0x020F), nullptr);
  EXPECT_EQ(FindOpcode(0x0001), nullptr);
}

TEST(Opcodes, FlagBitsAndWholeWordDistinguishInstructions) {
  EXPECT_STREQ(FindOpcode(0x0025)->mnemonic, "roundf");
  EXPECT_STREQ(FindOpcode(0x4025)->mnemonic, "jmp");
  EXPECT_STREQ(FindOpcode(0x0043)->mnemonic, "exit");
  EXPECT_STREQ(FindOpcode(0x0116)->mnemonic, "exit");
  struct {
    uint16_t word;
    OperandKind first, second;
    int32_t size;
  } cases[] = {
      {0x0016, OperandKind::kNone, OperandKind::kNone, 2},    {0x4001, OperandKind::kInt32, OperandKind::kNone, 6},
      {0x8003, OperandKind::kDouble, OperandKind::kNone, 10}, {0x5008, OperandKind::kInt32, OperandKind::kInt32, 10},
      {0xA000, OperandKind::kDouble, OperandKind::kDouble, 18}, {0x6000, OperandKind::kInt32, OperandKind::kDouble, 14},
      {0xC000, OperandKind::kNone, OperandKind::kNone, 2},    {0x3000, OperandKind::kNone, OperandKind::kNone, 2},
      {0x1000, OperandKind::kNone, OperandKind::kInt32, 6},   {0x9000, OperandKind::kDouble, OperandKind::kInt32, 14},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FirstOperandKind(c.word), c.first) << std::hex << c.word;
    EXPECT_EQ(SecondOperandKind(c.word), c.second) << std::hex << c.word;
    EXPECT_EQ(InstructionSize(c.word), c.size) << std::hex << c.word;
  }
}

TEST(Opcodes, MnemonicLookupIgnoresCaseAndPrefersTheFirstExit) {
  EXPECT_EQ(FindOpcodeByMnemonic("PUSHC")->word, 0x4001);
  EXPECT_EQ(FindOpcodeByMnemonic("Jmp_Eq")->word, 0x4026);
  EXPECT_EQ(FindOpcodeByMnemonic("exit")->word, 0x0043);
  EXPECT_EQ(FindOpcodeByMnemonic("pushcx"), nullptr);
  EXPECT_EQ(FindOpcodeByMnemonic("push"), nullptr);
  EXPECT_EQ(FindOpcodeByMnemonic(""), nullptr);
  EXPECT_EQ(FindOpcodeByMnemonic("addx", 3)->word, 0x0016);  // counted, not terminated
  for (const Op& op : kDocumented) {
    if (op.word == 0x0116) continue;
    const OpcodeInfo* info = FindOpcodeByMnemonic(op.mnemonic);
    ASSERT_NE(info, nullptr) << op.mnemonic;
    EXPECT_EQ(info->word, op.word) << op.mnemonic;
  }
}

}  // namespace
}  // namespace pexo
