#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "program/byte_sink.h"
#include "program/listing.h"
#include "program/opcodes.h"

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
  int32_t count = 0;
  const OpcodeInfo* table = OpcodeTable(&count);
  for (const OpcodeInfo& op : std::vector<OpcodeInfo>(table, table + count)) {
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
  EXPECT_NE(expected.find("\tpushf\tdouble:147.250000\n"), std::string::npos);  // the table has shapes
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
