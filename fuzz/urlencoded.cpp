// Parses arbitrary bytes as a form post, cut into pieces at a point the
// input chooses, and checks that the variable limit holds.
#include <cstdint>
#include <cstdlib>

#include "../tests/io/content_fakes.h"
#include "io/urlencoded_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  int32_t limit = data[0] % 8;
  const char* body = reinterpret_cast<const char*>(data + 1);
  int32_t n = static_cast<int32_t>(size - 1);
  int32_t cut = n > 0 ? data[0] % (n + 1) : 0;
  pexo::testing_fakes::StructStore store;
  pexo::URLEncodedParser parser(&store, limit);
  bool ok = parser.Feed(body, cut) && parser.Feed(body + cut, n - cut) && parser.Finish();
  if (ok != !parser.failed()) std::abort();
  if (limit != 0 && parser.count() > limit + 1) std::abort();
  if (!ok && parser.ErrorMessage().empty()) std::abort();
  return 0;
}
