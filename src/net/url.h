// SplitURL: the parts of an "http" or "https" URL a call connects to.
// Syntax: scheme "://" host [":" port] [("/" | "?") rest]; the host is a
// name or address up to "/", ":" or the end, or an IPv6 literal in square
// brackets. Control characters and spaces are refused anywhere, since the
// path goes into the request line unchanged.
#ifndef PEXO_NET_URL_H_
#define PEXO_NET_URL_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

struct Url {
  String host;         // brackets of an IPv6 literal removed
  String host_header;  // as written, with ":" port when the URL gave one
  int32_t port = 0;
  bool secure = false;
  String path;  // without its leading "/"; a query stays in it
};

// 1 and *url filled, or 0 and *error: "Invalid URL", "Malformed URL",
// "Unsupported protocol '<scheme>'".
int SplitURL(const String& text, Url* url, String* error);

// Appends "name=value" pairs (already encoded) to a path: "?" first, or
// "&" when the path already has a query (nothing when it ends in "?" or "&").
void AppendQuery(String* path, const String& pairs);

}  // namespace pexo

#endif  // PEXO_NET_URL_H_
