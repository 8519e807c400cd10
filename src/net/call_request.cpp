#include "net/call_request.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "io/attribute.h"

namespace pexo {

namespace {

const char kCrLf[] = "\r\n";

bool HasLineBreak(const String& text) {
  return memchr(text.data(), '\r', static_cast<size_t>(text.length())) ||
         memchr(text.data(), '\n', static_cast<size_t>(text.length()));
}

// Whole "Name: value" lines, each ending in CR LF, with no other CR or LF.
bool ValidHeaderLines(const String& text) {
  const char* p = text.data();
  const char* end = p + text.length();
  while (p < end) {
    const char* lf = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!lf || lf == p || lf[-1] != '\r') return false;
    const char* line_end = lf - 1;
    const char* colon = static_cast<const char*>(memchr(p, ':', static_cast<size_t>(line_end - p)));
    if (!colon || colon == p) return false;
    if (memchr(p, '\r', static_cast<size_t>(line_end - p))) return false;
    for (const char* n = p; n < colon; n++)
      if (*n == ' ' || *n == '\t') return false;
    p = lf + 1;
  }
  return true;
}

void AppendEncoded(String* out, const String& text) {
  int32_t length = 0, capacity = 0;
  char* encoded = AttributeEncode(text.data(), text.length(), &length, &capacity);
  if (!encoded) return;
  out->append(encoded, length);
  free(encoded);
}

String EncodedPairs(const std::vector<CallField>& fields) {
  String out;
  for (size_t i = 0; i < fields.size(); i++) {
    if (i > 0) out.append('&');
    AppendEncoded(&out, fields[i].name);
    out.append('=');
    AppendEncoded(&out, fields[i].value);
  }
  return out;
}

struct MethodRule {
  const char* name;
  CallMode mode;
  const char* sent;  // null: the method text as given
  const char* content_type;
};

const MethodRule kMethods[] = {
    {"GET", kCallQuery, nullptr, ""},
    {"POST", kCallForm, "POST", "application/x-www-form-urlencoded"},
    {"HEAD", kCallHead, "HEAD", ""},
    {"XML", kCallRaw, "POST", "text/xml"},
    {"RAW", kCallRaw, "POST", "text/plain"},
    {"OPTIONS", kCallRaw, nullptr, "text/plain"},
    {"PUT", kCallRaw, nullptr, "text/plain"},
    {"DELETE", kCallRaw, nullptr, "text/plain"},
    {"TRACE", kCallRaw, nullptr, "text/plain"},
    {"CONNECT", kCallRaw, nullptr, "text/plain"},
    {"PATCH", kCallRaw, nullptr, "text/plain"},
    {"LINK", kCallRaw, nullptr, "text/plain"},
    {"UNLINK", kCallRaw, nullptr, "text/plain"},
};

}  // namespace

int ParseCallFlags(const String& text, int32_t* flags, String* error) {
  *flags = 0;
  const char* p = text.data();
  const char* end = p + text.length();
  for (;;) {
    const char* comma = static_cast<const char*>(memchr(p, ',', static_cast<size_t>(end - p)));
    const char* word_end = comma ? comma : end;
    const char* a = p;
    const char* b = word_end;
    while (a < b && isspace(static_cast<unsigned char>(*a))) a++;
    while (b > a && isspace(static_cast<unsigned char>(b[-1]))) b--;
    int32_t n = static_cast<int32_t>(b - a);
    if (equals_nocase(a, n, "noparse", 7)) {
      *flags |= kCallNoParse;
    } else if (equals_nocase(a, n, "force_https", 11)) {
      *flags |= kCallForceHttps;
    } else if (equals_nocase(a, n, "force_verify", 12)) {
      *flags |= kCallForceVerify;
    } else if (n > 0) {
      error->assign("Unsupported flag \"");
      error->append(a, n);
      error->append("\"");
      return 0;
    }
    if (!comma) return 1;
    p = comma + 1;
  }
}

int CallMessage::Build(const CallRequest& request, const Url& url, CallFileSource* files,
                       String* error) {
  const MethodRule* rule = nullptr;
  for (const MethodRule& m : kMethods)
    if (request.method.equals_nocase(m.name, static_cast<int32_t>(strlen(m.name)))) rule = &m;
  String content_type;
  if (rule) {
    mode_ = rule->mode;
    method_ = rule->sent ? String(rule->sent) : request.method;
    content_type = rule->content_type;
  } else if (!request.fields.empty()) {
    mode_ = kCallForm;
    method_ = "POST";
    content_type = "application/x-www-form-urlencoded";
  } else {
    mode_ = kCallQuery;
    method_ = "GET";
  }
  if (request.raw_body && mode_ != kCallHead) mode_ = kCallRaw;
  if (!request.content_type.empty()) content_type = request.content_type;
  if (HasLineBreak(content_type) || HasLineBreak(method_)) {
    error->assign("Line break in a request header");
    return 0;
  }
  if (!ValidHeaderLines(request.headers)) {
    error->assign("Invalid header text: whole lines ending in CR LF expected");
    return 0;
  }
  for (const char* c = method_.data(); *c; c++) {
    if (*c <= ' ' || *c == 0x7f) {
      error->assign("Invalid method");
      return 0;
    }
  }
  file_block_ = request.file_block > 0 ? request.file_block : 4096;
  String path = url.path;
  bool with_body = mode_ == kCallForm || mode_ == kCallRaw;
  int64_t length = 0;
  if (!request.files.empty()) {
    if (!BuildMultipart(request, files, error)) return 0;
    with_body = true;
    content_type = "multipart/form-data; boundary=";
    content_type.append(boundary_);
    for (const Part& part : parts_) length += part.text.length() + (part.file ? part.file->Size() + 2 : 0);
    length += body_.length();
  } else if (mode_ == kCallQuery) {
    AppendQuery(&path, EncodedPairs(request.fields));
  } else if (mode_ == kCallForm) {
    body_ = EncodedPairs(request.fields);
    length = body_.length();
  } else if (mode_ == kCallRaw) {
    for (const CallField& field : request.fields) body_.append(field.value);
    length = body_.length();
  }
  head_.assign(method_);
  head_.append(" /");
  head_.append(path);
  head_.append(" HTTP/1.1\r\nHost: ");
  head_.append(url.host_header);
  head_.append(kCrLf);
  if (with_body) {
    char number[32];
    snprintf(number, sizeof number, "%lld", static_cast<long long>(length));
    head_.append("Content-Type: ");
    head_.append(content_type);
    head_.append("\r\nContent-Length: ");
    head_.append(number);
    head_.append(kCrLf);
  }
  head_.append(request.headers);
  head_.append("Connection: close\r\n\r\n");
  return 1;
}

int CallMessage::BuildMultipart(const CallRequest& request, CallFileSource* files,
                                String* error) {
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int32_t> number(0, 0x7fffffff);
  char digits[64];
  snprintf(digits, sizeof digits, "%d%d%d", number(random), number(random), number(random));
  boundary_.assign("--------------------");
  boundary_.append(digits);
  for (const CallField& field : request.fields) {
    if (HasLineBreak(field.name)) {
      error->assign("Line break in a request header");
      return 0;
    }
    Part part;
    part.text.append("--");
    part.text.append(boundary_);
    part.text.append("\r\nContent-Disposition: form-data; name=\"");
    part.text.append(field.name);
    part.text.append("\"\r\n\r\n");
    part.text.append(field.value);
    part.text.append(kCrLf);
    parts_.push_back(std::move(part));
  }
  for (const CallFile& file : request.files) {
    if (file.name.empty()) {
      error->assign("Empty filename");
      return 0;
    }
    if (HasLineBreak(file.field) || HasLineBreak(file.name) || HasLineBreak(file.content_type) ||
        memchr(file.field.data(), '"', static_cast<size_t>(file.field.length())) ||
        memchr(file.name.data(), '"', static_cast<size_t>(file.name.length()))) {
      error->assign("Line break in a request header");
      return 0;
    }
    Part part;
    part.file = files ? files->Open(file.name) : nullptr;
    if (!part.file || part.file->Size() < 0) {
      error->assign("Unable to open '");
      error->append(file.name);
      error->append("'");
      return 0;
    }
    part.file_name = file.name;
    part.text.append("--");
    part.text.append(boundary_);
    part.text.append("\r\nContent-Disposition: form-data; name=\"");
    part.text.append(file.field);
    part.text.append("\"; filename=\"");
    part.text.append(file.name);
    part.text.append("\"\r\nContent-Type: ");
    part.text.append(file.content_type);
    part.text.append("\r\n\r\n");
    parts_.push_back(std::move(part));
  }
  body_.assign("--");
  body_.append(boundary_);
  body_.append("--\r\n");
  return 1;
}

int CallMessage::Send(NetworkConnection* connection, int32_t timeout, String* error) {
  auto write = [&](const char* bytes, int32_t length) {
    if (length == 0 || connection->Write(bytes, length, timeout) == length) return true;
    *error = connection->ErrorText();
    return false;
  };
  if (!write(head_.data(), head_.length())) return 0;
  for (Part& part : parts_) {
    if (!write(part.text.data(), part.text.length())) return 0;
    if (!part.file) continue;
    // Exactly the size announced: a file that shrinks fails, one that grows
    // is cut, so Content-Length always holds.
    String block;
    if (!block.resize(file_block_)) {
      error->assign("Out of memory");
      return 0;
    }
    int64_t left = part.file->Size();
    while (left > 0) {
      int32_t want = left < file_block_ ? static_cast<int32_t>(left) : file_block_;
      int32_t got = part.file->Read(block.mutable_data(), want);
      if (got <= 0) {
        error->assign("Unable to read '");
        error->append(part.file_name);
        error->append("'");
        return 0;
      }
      if (!write(block.data(), got)) return 0;
      left -= got;
    }
    if (!write(kCrLf, 2)) return 0;
  }
  return write(body_.data(), body_.length()) ? 1 : 0;
}

}  // namespace pexo
