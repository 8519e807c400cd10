#include "net/url.h"

#include <cstring>

namespace pexo {

namespace {

bool HasControlOrSpace(const String& text) {
  for (int32_t i = 0; i < text.length(); i++) {
    unsigned char c = static_cast<unsigned char>(text.data()[i]);
    if (c <= ' ' || c == 0x7f) return true;
  }
  return false;
}

int Malformed(String* error) {
  error->assign("Malformed URL");
  return 0;
}

}  // namespace

int SplitURL(const String& text, Url* url, String* error) {
  if (text.empty()) {
    error->assign("Invalid URL");
    return 0;
  }
  if (HasControlOrSpace(text)) return Malformed(error);
  const char* s = text.data();
  const char* end = s + text.length();
  const char* colon = static_cast<const char*>(memchr(s, ':', static_cast<size_t>(end - s)));
  if (!colon || end - colon < 3 || colon[1] != '/' || colon[2] != '/') return Malformed(error);
  String scheme(s, static_cast<int32_t>(colon - s));
  const char* p = colon + 3;
  const char* host_start = p;
  String host;
  if (p < end && *p == '[') {
    const char* close = static_cast<const char*>(memchr(p, ']', static_cast<size_t>(end - p)));
    if (!close || close == p + 1) return Malformed(error);
    host.assign(p + 1, static_cast<int32_t>(close - p - 1));
    p = close + 1;
  } else {
    while (p < end && *p != '/' && *p != ':') p++;
    if (p == host_start) return Malformed(error);
    host.assign(host_start, static_cast<int32_t>(p - host_start));
  }
  const char* host_end = p;
  int32_t port = -1;
  if (p < end && *p == ':') {
    p++;
    int32_t value = 0;
    const char* digits = p;
    while (p < end && *p >= '0' && *p <= '9') {
      value = value * 10 + (*p - '0');
      if (value > 65535) return Malformed(error);
      p++;
    }
    if (p == digits || value == 0) return Malformed(error);
    port = value;
  }
  const char* port_end = p;
  String path;
  if (p < end) {
    if (*p == '/') {
      p++;
    } else if (*p != '?') {
      return Malformed(error);
    }
    path.assign(p, static_cast<int32_t>(end - p));
  }
  if (scheme.equals_nocase("http", 4)) {
    url->secure = false;
  } else if (scheme.equals_nocase("https", 5)) {
    url->secure = true;
  } else {
    error->assign("Unsupported protocol '");
    error->append(scheme);
    error->append("'");
    return 0;
  }
  url->host = host;
  url->host_header.assign(host_start, static_cast<int32_t>(host_end - host_start));
  if (port > 0) {
    url->host_header.append(":");
    url->host_header.append(host_end + 1, static_cast<int32_t>(port_end - host_end - 1));
  }
  url->port = port > 0 ? port : (url->secure ? 443 : 80);
  url->path = path;
  return 1;
}

void AppendQuery(String* path, const String& pairs) {
  if (pairs.empty()) return;
  const char* q = static_cast<const char*>(memchr(path->data(), '?', static_cast<size_t>(path->length())));
  char last = path->empty() ? 0 : path->data()[path->length() - 1];
  if (!q) {
    path->append('?');
  } else if (last != '?' && last != '&') {
    path->append('&');
  }
  path->append(pairs);
}

}  // namespace pexo
