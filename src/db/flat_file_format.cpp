#include "db/flat_file_format.h"

#include <cstdlib>
#include <string_view>

#include "io/file.h"
#include "values/variable.h"
#include "values/variable_list.h"
#include "vm/pexo_vm.h"

namespace pexo {

bool AppendEscapedValue(String* line, const char* bytes, int32_t length) {
  int32_t run = 0;  // bytes before `i` not yet appended
  for (int32_t i = 0; i < length; ++i) {
    const char c = bytes[i];
    const char* escape = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : nullptr;
    if (!escape) continue;
    if (!line->append(bytes + run, i - run) || !line->append(escape, 2)) return false;
    run = i + 1;
  }
  return line->append(bytes + run, length - run);
}

void SplitFlatLine(const String& line, const String& delimiter, VariableList* targets) {
  const std::string_view separator(delimiter.data(), static_cast<size_t>(delimiter.length()));
  std::string_view rest(line.data(), static_cast<size_t>(line.length()));
  bool exhausted = false;
  for (Variable* target = targets->First(); target; target = targets->Next()) {
    if (exhausted) {
      target->SetValue("", 0);
      continue;
    }
    const size_t at = separator.empty() ? std::string_view::npos : rest.find(separator);
    if (at == std::string_view::npos) {
      target->SetValue(rest.data(), static_cast<int32_t>(rest.size()));
      exhausted = true;
      continue;
    }
    target->SetValue(rest.data(), static_cast<int32_t>(at));
    rest.remove_prefix(at + separator.size());
  }
}

FlatLineReader::FlatLineReader(File* file, int32_t block)
    : file_(file), block_(nullptr), capacity_(block > 0 ? block : 8192) {}

FlatLineReader::~FlatLineReader() { std::free(block_); }

bool FlatLineReader::Fill() {
  position_ = end_ = 0;
  if (at_end_) return true;
  if (!block_) {
    block_ = static_cast<char*>(std::malloc(static_cast<size_t>(capacity_)));
    if (!block_) {
      error_.assign(kMemoryLimitMessage);
      return false;
    }
  }
  const int32_t got = file_->Read(block_, capacity_);
  if (got < 0) {
    error_.assign(file_->ErrorText());
    return false;
  }
  if (got == 0) at_end_ = true;
  end_ = got;
  return true;
}

int FlatLineReader::ReadLine(String* line) {
  line->clear();
  bool started = false;
  auto grow_failed = [this]() {
    error_.assign(kMemoryLimitMessage);
    return -1;
  };
  for (;;) {
    if (position_ == end_ && !Fill()) return -1;
    if (position_ == end_) return started ? 1 : 0;  // end of file
    if (skip_line_feed_) {
      skip_line_feed_ = false;
      if (block_[position_] == '\n') {
        ++position_;
        continue;
      }
    }
    started = true;
    // Plain bytes are appended a run at a time.
    const char* run = block_ + position_;
    int32_t length = 0;
    while (position_ + length < end_) {
      const char c = run[length];
      if (c == '\n' || c == '\r' || c == '\\') break;
      ++length;
    }
    if (length > 0 && !line->append(run, length)) return grow_failed();
    position_ += length;
    if (position_ == end_) continue;
    const char c = block_[position_++];
    if (c == '\n') return 1;
    if (c == '\r') {
      skip_line_feed_ = true;
      return 1;
    }
    // A backslash: the byte it escapes may start the next block.
    if (position_ == end_ && !Fill()) return -1;
    if (position_ == end_) {
      // Nothing follows: the backslash is kept rather than lost.
      return line->append('\\') ? 1 : grow_failed();
    }
    const char escaped = block_[position_++];
    if (!line->append(escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped))
      return grow_failed();
  }
}

}  // namespace pexo
