// Feeds arbitrary bytes as an HTTP response, delivered in pieces whose size
// the input chooses, through the response reader and then the tag splitter
// (or the whole-body read). Every outcome must be an object, the end, or a
// message; no body byte may appear that the input did not carry.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "net/call_buffer.h"
#include "net/http_response_stream.h"
#include "net/tag_splitter.h"
#include "scripted_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  bool whole_body = data[0] & 1;
  bool head_request = data[0] & 2;
  int32_t piece = 1 + (data[0] >> 2);
  fuzz::ScriptedConnection connection(data + 1, size - 1, piece);
  pexo::HTTPResponseStream stream(&connection, 1);
  int ok = stream.ReadHead(head_request);
  if (ok != 0 && ok != 1) std::abort();
  if (!ok) {
    if (stream.ErrorText().empty()) std::abort();
    return 0;
  }
  if (stream.status() < 0 || stream.status() > 999) std::abort();
  if (static_cast<int32_t>(stream.headers().size()) > pexo::HTTPResponseStream::kMaxHeaders + 1)
    std::abort();
  if (whole_body) {
    char block[4096];
    size_t total = 0;
    for (;;) {
      int32_t got = stream.Read(block, sizeof block);
      if (got < 0) {
        if (stream.ErrorText().empty()) std::abort();
        break;
      }
      if (got == 0) break;
      total += static_cast<size_t>(got);
      if (total > size) std::abort();
    }
    return 0;
  }
  pexo::CallBuffer buffer(&stream);
  pexo::TagSplitter splitter(&buffer);
  pexo::CallObject object;
  size_t total = 0;
  for (;;) {
    int result = splitter.Next(&object);
    if (result < 0) {
      if (splitter.ErrorText().empty()) std::abort();
      break;
    }
    if (result == 0) break;
    if (object.value.empty() || object.names.size() != object.values.size()) std::abort();
    total += static_cast<size_t>(object.value.length());
    if (total > size) std::abort();
  }
  return 0;
}
