#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "program/byte_sink.h"
#include "vm/listing.h"
#include "vm/opcodes.h"

namespace pexo {
namespace {

std::string Listing(const std::string& source, const std::string& code) {
  FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  if (!f) return "";
  WriteListing(f, source.data(), static_cast<int32_t>(source.size()),
               reinterpret_cast<const unsigned char*>(code.data()), static_cast<int32_t>(code.size()));
  std::rewind(f);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

TEST(Listing, PrintsOperandsInTheirFormsAndStopsBeforeATruncatedInstruction) {
  ByteSink c;
  c.put16(0x4001); c.put32(5);                   // pushc 5
  c.put16(0x8003); c.put_double(1.5);            // pushf 1.5
  c.put16(0x5008); c.put32(3); c.put32(-4);      // pushdc 3, -4
  c.put16(0x0016);                               // add
  c.put16(0x4053); c.put32(2);                   // bindg: not printed, operand is
  c.put16(0x0001);                               // not an instruction
  c.put16(0x0116);                               // second exit: not printed
  c.put16(0xA000); c.put_double(-2); c.put_double(0.125);
  c.put16(0x1000); c.put32(9);                   // only a second operand
  c.put16(0x4025); c.put32(-6);                  // jmp -6
  c.put16(0x4002); c.put8(1); c.put8(2);         // truncated pushi
  std::string expected =
      "\n\nExpression: x = 1\n"
      "0\tpushc\tdword:5\n"
      "6\tpushf\tdouble:1.500000\n"
      "16\tpushdc\tdword:3, dword:-4\n"
      "26\tadd\t\n"
      "28\tIllegal Instruction\ndword:2\n"
      "34\tIllegal Instruction\n\n"
      "36\tIllegal Instruction\n\n"
      "38\tIllegal Instruction\ndouble:-2.000000, double:0.125000\n"
      "56\tIllegal Instruction\n, dword:9\n"
      "62\tjmp\tdword:-6\n";
  EXPECT_EQ(Listing("x = 1", c.bytes()), expected);
}

TEST(Listing, EmptyAndOneByteSegmentsListOnlyTheHeader) {
  EXPECT_EQ(Listing("", ""), "\n\nExpression: \n");
  EXPECT_EQ(Listing("e", std::string(1, '\x16')), "\n\nExpression: e\n");
  std::string two("\x16\x00", 2);
  EXPECT_EQ(Listing("e", two), "\n\nExpression: e\n0\tadd\t\n");
  EXPECT_EQ(Listing("e", two + "\x40"), "\n\nExpression: e\n0\tadd\t\n");
}

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

bool Unlisted(uint16_t w) {
  switch (w) {
    case 0x003F: case 0x0041: case 0x0052: case 0x0055: case 0x0058: case 0x0059: case 0x005B:
    case 0x0116: case 0x0216: case 0x0217: case 0x0218: case 0x0219: case 0x021A: case 0x4053:
    case 0x4054: case 0x4056: case 0x4112: case 0x4115: case 0x505C: case 0x5113: case 0x5114:
    case 0x5117:
      return true;
    default:
      return false;
  }
}

TEST(Listing, SegmentHoldingEveryOpcode) {
  ByteSink code;
  std::string expected = "\n\nExpression: all\n";
  int i = 0;
  for (const Op& op : kDocumented) {
    char line[160];
    int at = static_cast<int>(code.size());
    code.put16(op.word);
    if (Unlisted(op.word)) {
      std::snprintf(line, sizeof line, "%d\tIllegal Instruction\n", at);
    } else {
      std::snprintf(line, sizeof line, "%d\t%s\t", at, op.mnemonic);
    }
    expected += line;
    // Documented operand shapes: i, d or i,i.
    bool has_int = (op.word & 0xC000) == 0x4000, has_double = (op.word & 0xC000) == 0x8000;
    bool two_ints = (op.word & 0x3000) == 0x1000;
    if (has_int) {
      code.put32(static_cast<uint32_t>(i * 7 - 300));
      std::snprintf(line, sizeof line, "dword:%d", i * 7 - 300);
      expected += line;
    } else if (has_double) {
      code.put_double(i + 0.25);
      std::snprintf(line, sizeof line, "double:%f", i + 0.25);
      expected += line;
    }
    if (two_ints) {
      code.put32(static_cast<uint32_t>(-i));
      std::snprintf(line, sizeof line, ", dword:%d\n", -i);
      expected += line;
    } else {
      expected += "\n";
    }
    ++i;
  }
  ByteSink tail = code;
  tail.put16(0x5008);  // pushdc missing its second operand
  tail.put32(1);
  tail.put16(0);
  EXPECT_EQ(Listing("all", tail.bytes()), expected);
  EXPECT_NE(expected.find("\tpushf\tdouble:3.250000\n"), std::string::npos);  // the table has shapes
}

TEST(Listing, WritesToAPathReplacingTheFile) {
  std::string path = std::string(PEXO_BINARY_DIR) + "/listing_test.txt";
  FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("old content that is longer than the listing\n", f);
  std::fclose(f);
  const unsigned char code[] = {0x3C, 0x00};
  String error;
  ASSERT_TRUE(WriteListingFile(path.c_str(), "f()", -1, code, 2, &error)) << error.c_str();
  f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char buffer[256] = {};
  size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
  std::fclose(f);
  std::remove(path.c_str());
  EXPECT_EQ(std::string(buffer, n), "\n\nExpression: f()\n0\tretn\t\n");
  EXPECT_FALSE(WriteListingFile("/nonexistent-dir/x/listing.txt", "", 0, code, 2, &error));
  EXPECT_NE(std::string(error.c_str()).find("/nonexistent-dir/x/listing.txt"), std::string::npos);
}

}  // namespace
}  // namespace pexo
