#include "vm/opcodes.h"

#include <array>
#include <cstring>

#include "values/string.h"

namespace pexo {

namespace {

// Sorted by word. `listed` false: the listing prints "Illegal Instruction".
const OpcodeInfo kOpcodes[] = {
    {0x0000, "noop", true},
    {0x0007, "pushd", true},
    {0x0009, "pushn", true},
    {0x000B, "pop", true},
    {0x000F, "popd", true},
    {0x0011, "popn", true},
    {0x0013, "spush", true},
    {0x0014, "spop", true},
    {0x0015, "out", true},
    {0x0016, "add", true},
    {0x0017, "sub", true},
    {0x0018, "cat", true},
    {0x0019, "bitand", true},
    {0x001A, "bitor", true},
    {0x001B, "bitxor", true},
    {0x001C, "bitoc", true},
    {0x001D, "bitsl", true},
    {0x001E, "bitsr", true},
    {0x001F, "div", true},
    {0x0020, "mul", true},
    {0x0021, "mod", true},
    {0x0022, "rounds", true},
    {0x0023, "crypt", true},
    {0x0024, "pow", true},
    {0x0025, "roundf", true},
    {0x002C, "cmp", true},
    {0x002D, "and", true},
    {0x002E, "or", true},
    {0x002F, "in", true},
    {0x0030, "cin", true},
    {0x0031, "ein", true},
    {0x0032, "ecin", true},
    {0x0033, "eq", true},
    {0x0034, "ne", true},
    {0x0035, "ge", true},
    {0x0036, "le", true},
    {0x0037, "lt", true},
    {0x0038, "gt", true},
    {0x0039, "not", true},
    {0x003A, "dup", true},
    {0x003B, "ret", true},
    {0x003C, "retn", true},
    {0x003E, "elem", true},
    {0x003F, "elemq", false},
    {0x0040, "memb", true},
    {0x0041, "membq", false},
    {0x0042, "store", true},
    {0x0043, "exit", true},
    {0x0045, "op_do_file", true},
    {0x0046, "op_do_function", true},
    {0x0047, "hide", true},
    {0x0048, "lockfile", true},
    {0x0049, "lockfile_end", true},
    {0x0051, "out_comp", true},
    {0x0052, "errprefix", false},
    {0x0055, "refern", false},
    {0x0057, "refer", true},
    {0x0058, "capture", false},
    {0x0059, "capture_end", false},
    {0x005A, "isnull", true},
    {0x005B, "swap", false},
    {0x0105, "export", true},
    {0x0108, "pop3delete", true},
    {0x010B, "op_smtp_end", true},
    {0x0116, "exit", false},
    {0x0200, "dbopen", true},
    {0x0201, "dbclose", true},
    {0x0202, "dbskip", true},
    {0x0203, "dbgo", true},
    {0x0204, "dbadd", true},
    {0x0205, "dbupdate", true},
    {0x0206, "dbdelete", true},
    {0x0207, "dbundelete", true},
    {0x0208, "dbprimary", true},
    {0x0209, "dbfind", true},
    {0x020A, "dbsetindex", true},
    {0x020B, "dbmakeindex", true},
    {0x020C, "dbpack", true},
    {0x020D, "dbreindex", true},
    {0x020E, "dbcreate", true},
    {0x0210, "dbopenview", true},
    {0x0211, "dbcloseview", true},
    {0x0212, "dbquery", true},
    {0x0213, "dbfilter", true},
    {0x0214, "dbrevealstructuredb", true},
    {0x0215, "dbrevealstructureagg", true},
    {0x0216, "dbopenx", false},
    {0x0217, "dbcommit", false},
    {0x0218, "dbrollback", false},
    {0x0219, "dbtransact", false},
    {0x021A, "dbcommand", false},
    {0x4001, "pushc", true},
    {0x4002, "pushi", true},
    {0x4004, "pushs", true},
    {0x4005, "pushg", true},
    {0x4006, "pushl", true},
    {0x400A, "pushnc", true},
    {0x400C, "pops", true},
    {0x400D, "popg", true},
    {0x400E, "popl", true},
    {0x4012, "popnc", true},
    {0x4025, "jmp", true},
    {0x4026, "jmp_eq", true},
    {0x4027, "jmp_lt", true},
    {0x4028, "jmp_gt", true},
    {0x4029, "jmp_le", true},
    {0x402A, "jmp_ge", true},
    {0x402B, "jmp_ne", true},
    {0x403D, "call", true},
    {0x4044, "lineno", true},
    {0x404A, "sourcefile", true},
    {0x404C, "erroutput", true},
    {0x404D, "poplvnc", true},
    {0x404E, "localize", true},
    {0x404F, "localizev", true},
    {0x4050, "stdoutput", true},
    {0x4053, "bindg", false},
    {0x4054, "bindl", false},
    {0x4056, "refernc", false},
    {0x4101, "import", true},
    {0x4102, "importf", true},
    {0x4103, "import_loop", true},
    {0x4104, "import_stop", true},
    {0x4106, "pop3", true},
    {0x4107, "pop3loop", true},
    {0x4109, "pop3stop", true},
    {0x410A, "op_smtp", true},
    {0x410C, "op_http", true},
    {0x410D, "op_http_loop", true},
    {0x410E, "op_http_stop", true},
    {0x410F, "op_commerce", true},
    {0x4110, "op_commerce_loop", true},
    {0x4111, "op_commerce_stop", true},
    {0x4112, "op_httpx", false},
    {0x4115, "async", false},
    {0x5008, "pushdc", true},
    {0x5010, "popdc", true},
    {0x504B, "tagerror", true},
    {0x505C, "swapn", false},
    {0x5113, "op_httpn", false},
    {0x5114, "op_smtpn", false},
    {0x5117, "asyncn", false},
    {0x5301, "cmpgg", true},
    {0x5302, "cmpgi", true},
    {0x5303, "incg", true},
    {0x5304, "modgg", true},
    {0x5305, "storegi", true},
    {0x8003, "pushf", true},
};

constexpr int32_t kOpcodeCount = static_cast<int32_t>(sizeof(kOpcodes) / sizeof(kOpcodes[0]));
static_assert(kOpcodeCount < 255, "word index uses 8-bit slots");

// Word -> position in kOpcodes + 1 (0: unknown). Built once, never changed.
struct WordIndex {
  std::array<uint8_t, 65536> slot{};
  WordIndex() {
    for (int32_t i = 0; i < kOpcodeCount; ++i) slot[kOpcodes[i].word] = static_cast<uint8_t>(i + 1);
  }
};

const WordIndex& Index() {
  static const WordIndex index;
  return index;
}

}  // namespace

const OpcodeInfo* FindOpcode(uint16_t word) {
  uint8_t at = Index().slot[word];
  return at ? &kOpcodes[at - 1] : nullptr;
}

const OpcodeInfo* FindOpcodeByMnemonic(const char* name, int32_t length) {
  length = text_length(name, length);
  for (const OpcodeInfo& info : kOpcodes) {
    // First match wins, so "exit" gives 0x0043 rather than 0x0116.
    if (equals_nocase(info.mnemonic, text_length(info.mnemonic, -1), name, length)) return &info;
  }
  return nullptr;
}

const OpcodeInfo* OpcodeTable(int32_t* count) {
  if (count) *count = kOpcodeCount;
  return kOpcodes;
}

}  // namespace pexo
