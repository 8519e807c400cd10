#include <gtest/gtest.h>

#include <string>

#include "io/md5.h"

namespace pexo {
namespace {

struct Vector {
  const char* input;
  const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
const Vector kRfcVectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
     "0",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, RfcVectorsInOneCall) {
  for (const Vector& v : kRfcVectors) {
    char hex[Md5::kHexSize];
    Md5::HexDigest(v.input, std::string(v.input).size(), hex);
    EXPECT_STREQ(hex, v.digest) << "input: " << v.input;
  }
}

// Feeding the same bytes in pieces of every size must not change the digest;
// this crosses the 64-byte block and the 56-byte padding boundaries.
TEST(Md5, PiecewiseUpdatesMatchOneShot) {
  for (const Vector& v : kRfcVectors) {
    std::string input(v.input);
    for (size_t step = 1; step <= 13; ++step) {
      Md5 md5;
      for (size_t at = 0; at < input.size(); at += step)
        md5.Update(input.data() + at, std::min(step, input.size() - at));
      uint8_t digest[Md5::kDigestSize];
      md5.Final(digest);
      char hex[Md5::kHexSize];
      HexEncodeLower(digest, sizeof digest, hex);
      EXPECT_STREQ(hex, v.digest) << "step " << step;
    }
  }
}

// Lengths around the padding boundary (55, 56, 63, 64 bytes) against digests
// of runs of 'a' computed independently.
TEST(Md5, PaddingBoundaries) {
  const struct {
    size_t count;
    const char* digest;
  } kRuns[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"},
      {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"},
      {64, "014842d480b571495a4a0363793f7367"},
  };
  for (const auto& run : kRuns) {
    std::string input(run.count, 'a');
    char hex[Md5::kHexSize];
    Md5::HexDigest(input.data(), input.size(), hex);
    EXPECT_STREQ(hex, run.digest) << run.count << " bytes";
  }
}

TEST(Md5, ResetAllowsReuse) {
  Md5 md5;
  md5.Update("garbage", 7);
  md5.Reset();
  md5.Update("abc", 3);
  uint8_t digest[Md5::kDigestSize];
  md5.Final(digest);
  char hex[Md5::kHexSize];
  HexEncodeLower(digest, sizeof digest, hex);
  EXPECT_STREQ(hex, "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace pexo
