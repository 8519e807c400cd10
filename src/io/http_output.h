// HTTPOutput: the response body as a chain of fixed-size blocks in front of
// a header table.
//
// Headers are kept in insertion order; setting a name again (compared
// case-insensitively) removes the old entry and appends the new one, so it
// moves to the end. Once headers have gone out (the first Send) further
// header calls are ignored and return 0.
//
// Body text is appended to the block chain; when the bytes written since the
// last send reach the flush threshold the output sends everything it holds.
// Send(1) at the end of a request adds Content-Length (the total byte count)
// only if nothing was sent before and the script did not set one itself.
// A short body write is retried after a pause of `delay_file` microseconds
// (default 100) from the first unsent byte; a write that fails abandons the
// rest of the held body.
#ifndef PEXO_IO_HTTP_OUTPUT_H_
#define PEXO_IO_HTTP_OUTPUT_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "io/output.h"
#include "values/string.h"

namespace pexo {

class Config;

class HTTPOutput : public Output {
 public:
  static constexpr int32_t kDefaultBlockSize = 8192;
  static constexpr int32_t kDefaultFlushThreshold = 1048576;
  static constexpr int32_t kDefaultRetryDelay = 100;

  // The first block is allocated now with `block_size` bytes.
  HTTPOutput(int32_t block_size = kDefaultBlockSize,
             int32_t flush_threshold = kDefaultFlushThreshold);
  ~HTTPOutput() override;

  using Output::SetHeader;
  int SetHeader(const char* name, int32_t name_length, bool name_owned, const char* value,
                int32_t value_length, bool value_owned) override;
  int32_t Write(const char* data, int32_t length) override;
  // Headers (once), then every held block. Returns the body bytes sent.
  int32_t Send(int final) override;
  int Flush() override;
  int Kind() const override { return kHTTPOutputKind; }

  // Adds "Content-Length" with the total byte count unless one is set.
  virtual void AddContentLength();
  // Delivers the header table to the server.
  virtual int SendHeaders() = 0;
  // Writes body bytes: the count written (possibly short), 0 or negative on
  // failure.
  virtual int32_t SendBody(const char* data, int32_t length) = 0;
  virtual void SetConfig(Config* config);

  // Settings from the request configuration; apply to blocks made later.
  // Values below 1 fall back to the defaults.
  void SetBlockSize(int32_t block_size);
  void SetFlushThreshold(int32_t threshold);

  // The header table, in sending order.
  int32_t header_count() const { return static_cast<int32_t>(headers_.size()); }
  const String& header_name(int32_t index) const { return headers_[static_cast<size_t>(index)].name; }
  const String& header_value(int32_t index) const { return headers_[static_cast<size_t>(index)].value; }
  // Index of a header by name (case-insensitive), or -1.
  int32_t FindHeader(const char* name, int32_t length) const;

  bool headers_sent() const { return headers_sent_ != 0; }
  int64_t total_written() const { return total_; }
  int32_t block_size() const { return block_size_; }
  int32_t flush_threshold() const { return flush_threshold_; }
  Config* config() const { return config_; }

 protected:
  // Microseconds to pause before retrying a short write: `delay_file` of
  // the configuration given to SetConfig, else the default.
  virtual int32_t ReadRetryDelay();

 private:
  struct Header {
    String name;
    String value;
  };
  struct Block {
    std::unique_ptr<char[]> data;
    int32_t length;
    int32_t capacity;
  };

  bool AddBlock();
  // Sends one block with short-write retries; false when sending must stop.
  bool SendBlock(const Block& block, int64_t* sent);
  void ResetChain();

  int32_t block_size_;
  int32_t flush_threshold_;
  int headers_sent_ = 0;
  std::vector<Header> headers_;
  std::vector<Block> blocks_;  // blocks_.back() is the current block
  int64_t total_ = 0;
  int64_t since_flush_ = 0;
  Config* config_ = nullptr;
  int32_t retry_delay_ = -1;  // -1: not read yet
};

}  // namespace pexo

#endif  // PEXO_IO_HTTP_OUTPUT_H_
