// Parses arbitrary bytes as a multipart body fed in small pieces, with
// uploads accepted under a size limit the input chooses. Checks that no
// temporary file outlives the parser and that stored uploads respect the
// limit.
#include <cstdint>
#include <cstdlib>

#include "../tests/io/content_fakes.h"
#include "io/multipart_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1 << 16) return 0;
  using namespace pexo::testing_fakes;
  MemoryFiles files;
  ScriptedCallbacks callbacks(&files);
  callbacks.validate = data[0] & 1 ? pexo::kUploadCallDone : pexo::kUploadCallUndefined;
  callbacks.validate_result = (data[0] >> 1) % 16;
  int32_t piece = data[1] % 17 + 1;
  const char* type = data[0] & 0x80 ? "multipart/form-data" : "multipart/form-data; boundary=b";
  StructStore store;
  {
    pexo::MultipartFormParser parser(&callbacks, &files, &store, type, -1, data[1] % 4);
    const char* body = reinterpret_cast<const char*>(data + 2);
    int32_t n = static_cast<int32_t>(size - 2);
    bool ok = true;
    for (int32_t at = 0; ok && at < n; at += piece) {
      ok = parser.Feed(body + at, n - at < piece ? n - at : piece);
    }
    if (ok) ok = parser.Finish();
    if (!ok && parser.ErrorMessage().empty()) std::abort();
  }
  if (!files.contents.empty() || files.deleted != files.created) std::abort();
  for (const ProcessCall& call : callbacks.processed) {
    if (callbacks.validate_result > 0 &&
        call.data.size() > static_cast<size_t>(callbacks.validate_result)) {
      std::abort();
    }
    if (static_cast<int64_t>(call.data.size()) > call.received) std::abort();
  }
  return 0;
}
