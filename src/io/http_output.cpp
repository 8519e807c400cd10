#include "io/http_output.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "values/config.h"
#include "values/memory_account.h"

namespace pexo {

HTTPOutput::HTTPOutput(int32_t block_size, int32_t flush_threshold)
    : block_size_(block_size > 0 ? block_size : kDefaultBlockSize),
      flush_threshold_(flush_threshold > 0 ? flush_threshold : kDefaultFlushThreshold) {
  AddBlock();
}

HTTPOutput::~HTTPOutput() {
  for (const Block& block : blocks_) CreditMemory(block.capacity);
}

void HTTPOutput::SetBlockSize(int32_t block_size) {
  block_size_ = block_size > 0 ? block_size : kDefaultBlockSize;
}

void HTTPOutput::SetFlushThreshold(int32_t threshold) {
  flush_threshold_ = threshold > 0 ? threshold : kDefaultFlushThreshold;
}

void HTTPOutput::SetConfig(Config* config) { config_ = config; }

int32_t HTTPOutput::ReadRetryDelay() {
  return config_ ? config_->GetInteger(CFG_DELAY_FILE) : kDefaultRetryDelay;
}

bool HTTPOutput::AddBlock() {
  char* data = new (std::nothrow) char[static_cast<size_t>(block_size_)];
  if (!data) return false;
  // Counted, never refused: the held body is bounded by the flush threshold,
  // and the message that stops a request must still get out.
  CountMemory(block_size_);
  blocks_.push_back(Block{std::unique_ptr<char[]>(data), 0, block_size_});
  return true;
}

int32_t HTTPOutput::FindHeader(const char* name, int32_t length) const {
  length = text_length(name, length);
  for (size_t i = 0; i < headers_.size(); i++) {
    if (headers_[i].name.equals_nocase(name, length)) return static_cast<int32_t>(i);
  }
  return -1;
}

// Borrowed texts are copied: the caller's storage may not outlive the
// response. Owned texts are taken over without copying.
static void StoreText(String* target, const char* text, int32_t length, bool owned) {
  length = text_length(text, length);
  if (owned && text) {
    target->adopt(const_cast<char*>(text), length, length);
  } else {
    target->assign(text, length);
  }
}

int HTTPOutput::SetHeader(const char* name, int32_t name_length, bool name_owned,
                          const char* value, int32_t value_length, bool value_owned) {
  if (headers_sent_ || !name) {
    FreeOwnedText(name, name_owned);
    FreeOwnedText(value, value_owned);
    return 0;
  }
  Header entry;
  StoreText(&entry.name, name, name_length, name_owned);
  StoreText(&entry.value, value, value_length, value_owned);
  int32_t old = FindHeader(entry.name.data(), entry.name.length());
  if (old >= 0) headers_.erase(headers_.begin() + old);
  headers_.push_back(std::move(entry));
  return 1;
}

int32_t HTTPOutput::Write(const char* data, int32_t length) {
  length = text_length(data, length);
  if (length <= 0) return 0;
  total_ += length;
  since_flush_ += length;
  int32_t done = 0;
  while (done < length) {
    if (blocks_.empty() || blocks_.back().length == blocks_.back().capacity) {
      if (!AddBlock()) break;  // out of memory: the rest is lost
    }
    Block& current = blocks_.back();
    int32_t part = current.capacity - current.length;
    if (part > length - done) part = length - done;
    std::memcpy(current.data.get() + current.length, data + done, static_cast<size_t>(part));
    current.length += part;
    done += part;
  }
  NoteLastByte(data[length - 1]);
  if (since_flush_ >= flush_threshold_) Send(0);
  return length;
}

void HTTPOutput::AddContentLength() {
  if (FindHeader("Content-Length", 14) >= 0) return;
  char text[24];
  int n = std::snprintf(text, sizeof text, "%" PRId64, total_);
  SetHeader("Content-Length", 14, false, text, n, false);
}

bool HTTPOutput::SendBlock(const Block& block, int64_t* sent) {
  int32_t done = 0;
  while (done < block.length) {
    int32_t wrote = SendBody(block.data.get() + done, block.length - done);
    if (wrote < 1) return false;
    if (wrote > block.length - done) wrote = block.length - done;
    done += wrote;
    *sent += wrote;
    if (done < block.length) {
      if (retry_delay_ < 0) {
        retry_delay_ = ReadRetryDelay();
        if (retry_delay_ < 0) retry_delay_ = kDefaultRetryDelay;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(retry_delay_));
    }
  }
  return true;
}

int32_t HTTPOutput::Send(int final) {
  if (!headers_sent_) {
    if (final) AddContentLength();
    headers_sent_ = 1;  // after AddContentLength, whose SetHeader must still work
    SendHeaders();
  }
  int64_t sent = 0;
  for (const Block& block : blocks_) {
    // A failed write would leave a hole in the body; the rest is dropped.
    if (!SendBlock(block, &sent)) break;
  }
  ResetChain();
  since_flush_ = 0;
  return sent > INT32_MAX ? INT32_MAX : static_cast<int32_t>(sent);
}

int HTTPOutput::Flush() {
  Send(0);
  return 1;
}

void HTTPOutput::ResetChain() {
  if (blocks_.empty()) {
    AddBlock();
    return;
  }
  for (size_t i = 1; i < blocks_.size(); ++i) CreditMemory(blocks_[i].capacity);
  blocks_.resize(1);
  blocks_[0].length = 0;
}

}  // namespace pexo
