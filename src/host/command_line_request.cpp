#include "host/command_line_request.h"

#include <cctype>

#include "values/string.h"

namespace pexo {

int FileResponse::SetStatus(int code, const char* reason, int32_t reason_length) {
  code_ = code;
  reason_.assign(reason, static_cast<size_t>(reason_length));
  return 1;
}

int FileResponse::SetHeader(const char* name, int32_t name_length, const char* value,
                            int32_t value_length, bool replace) {
  std::string key(name, static_cast<size_t>(name_length));
  std::string text(value, static_cast<size_t>(value_length));
  if (replace) {
    for (auto& header : headers_) {
      if (header.first.size() == key.size() &&
          equals_nocase(header.first.data(), name_length, name, name_length)) {
        header.second = text;
        return 1;
      }
    }
  }
  headers_.emplace_back(key, text);
  return 1;
}

void FileResponse::WriteHead() {
  head_written_ = true;
  if (!include_head_) return;
  std::fprintf(out_, "HTTP/1.1 %d %s\r\n", code_, reason_.c_str());
  for (const auto& header : headers_)
    std::fprintf(out_, "%s: %s\r\n", header.first.c_str(), header.second.c_str());
  std::fputs("\r\n", out_);
}

int32_t FileResponse::WriteBody(const char* data, int32_t length, bool) {
  if (!head_written_) WriteHead();
  if (length > 0 &&
      std::fwrite(data, 1, static_cast<size_t>(length), out_) != static_cast<size_t>(length))
    return -1;
  return length;
}

void FileResponse::Finish() {
  if (!head_written_) WriteHead();
  std::fflush(out_);
}

CommandLineRequest::CommandLineRequest(FILE* out, bool include_head, FILE* body)
    : response_(out, include_head), body_(body) {}

void CommandLineRequest::AddHeader(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) return;
  std::string key = "HTTP_";
  for (size_t i = 0; i < colon; ++i) {
    char c = line[i];
    key += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  size_t start = line.find_first_not_of(" \t", colon + 1);
  std::string value = start == std::string::npos ? std::string() : line.substr(start);
  variables_[key] = value;
  variables_["ALL_HTTP"] += key + ":" + value + "\n";
}

bool CommandLineRequest::GetServerVariable(const char* name, String* value) {
  auto it = variables_.find(name);
  if (it == variables_.end()) return false;
  value->assign(it->second.data(), static_cast<int32_t>(it->second.size()));
  return true;
}

int32_t CommandLineRequest::ReadBody(char* buffer, int32_t size, int64_t deadline) {
  if (!body_ || size <= 0) return 0;
  if (deadline != 0 && MonotonicMilliseconds() >= deadline) return kBodyTimedOut;
  size_t n = std::fread(buffer, 1, static_cast<size_t>(size), body_);
  if (n == 0 && std::ferror(body_)) return kBodyMalformed;
  return static_cast<int32_t>(n);
}

}  // namespace pexo
