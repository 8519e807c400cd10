// The HTTP client's pieces without a network: URL syntax, flags, the request
// text each method builds, the response reader and the tag splitter. Bytes
// reach the reader in pieces of every small size, so that no rule depends on
// where the peer's writes happened to split.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/call_request.h"
#include "net/http_response_stream.h"
#include "net/tag_splitter.h"
#include "net/url.h"
#include "net_peers.h"

namespace pexo {
namespace {

using testing_net::Text;

// Serves fixed bytes in pieces of at most `piece` bytes, then end of data.
class BytesConnection : public NetworkConnection {
 public:
  BytesConnection(std::string bytes, int32_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
  int Connect(const sockaddr*, int32_t, int32_t) override { return 0; }
  int32_t Read(char* buffer, int32_t size, int32_t) override {
    size_t take = std::min<size_t>({static_cast<size_t>(size), static_cast<size_t>(piece_),
                                    bytes_.size() - at_});
    memcpy(buffer, bytes_.data() + at_, take);
    at_ += take;
    return static_cast<int32_t>(take);
  }
  int32_t ReadLine(String*, int32_t, int32_t) override { return -1; }
  int32_t Write(const char*, int32_t length, int32_t) override { return length; }
  void Close() override {}
  const String& PeerAddress() const override { return address_; }
  int Socket() const override { return -1; }
  TlsSession* Tls() override { return nullptr; }
  void SetTls(std::unique_ptr<TlsSession>) override {}

 private:
  std::string bytes_;
  int32_t piece_;
  size_t at_ = 0;
  String address_;
};

TEST(SplitURL, Syntax) {
  struct Case {
    const char* url;
    const char* host;  // null: fails with `path` as the message
    int port;
    bool secure;
    const char* header;
    const char* path;
  } cases[] = {
      {"http://example.test/a/b?c=d", "example.test", 80, false, "example.test", "a/b?c=d"},
      {"HTTPS://example.test", "example.test", 443, true, "example.test", ""},
      {"http://h:8080", "h", 8080, false, "h:8080", ""},
      {"http://h:8080?q=1", "h", 8080, false, "h:8080", "?q=1"},
      {"https://[::1]:8443/x", "::1", 8443, true, "[::1]:8443", "x"},
      {"http://[::1]?q", "::1", 80, false, "[::1]", "?q"},
      // The host runs to "/", ":" or the end, so a query stays in it.
      {"http://h?q=1", "h?q=1", 80, false, "h?q=1", ""},
      {"", nullptr, 0, false, nullptr, "Invalid URL"},
      {"example.test/a", nullptr, 0, false, nullptr, "Malformed URL"},
      {"http:/h/", nullptr, 0, false, nullptr, "Malformed URL"},
      {"http://h:80x/", nullptr, 0, false, nullptr, "Malformed URL"},
      {"http://h:/", nullptr, 0, false, nullptr, "Malformed URL"},
      {"http://h:70000/", nullptr, 0, false, nullptr, "Malformed URL"},
      {"http://[::1/", nullptr, 0, false, nullptr, "Malformed URL"},
      {"http:///a", nullptr, 0, false, nullptr, "Malformed URL"},
      {"http://h/a b", nullptr, 0, false, nullptr, "Malformed URL"},
      {"http://h/a\r\nX-Injected: 1", nullptr, 0, false, nullptr, "Malformed URL"},
      {"ftp://h/", nullptr, 0, false, nullptr, "Unsupported protocol 'ftp'"},
  };
  for (const Case& c : cases) {
    Url url;
    String error;
    int ok = SplitURL(c.url, &url, &error);
    if (!c.host) {
      EXPECT_EQ(ok, 0) << c.url;
      EXPECT_EQ(Text(error), c.path) << c.url;
      continue;
    }
    ASSERT_EQ(ok, 1) << c.url << ": " << Text(error);
    EXPECT_EQ(Text(url.host), c.host) << c.url;
    EXPECT_EQ(url.port, c.port) << c.url;
    EXPECT_EQ(url.secure, c.secure) << c.url;
    EXPECT_EQ(Text(url.host_header), c.header) << c.url;
    EXPECT_EQ(Text(url.path), c.path) << c.url;
  }
}

TEST(ParseCallFlags, WordsAndErrors) {
  struct Case {
    const char* text;
    int ok;
    int32_t flags;
    const char* error;
  } cases[] = {
      {"", 1, 0, ""},
      {" NoParse , force_https,,FORCE_VERIFY ", 1, 7, ""},
      {"noparse,bogus", 0, 0, "Unsupported flag \"bogus\""},
      {"no parse", 0, 0, "Unsupported flag \"no parse\""},
  };
  for (const Case& c : cases) {
    int32_t flags = -1;
    String error;
    EXPECT_EQ(ParseCallFlags(c.text, &flags, &error), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(flags, c.flags) << c.text;
    }
    EXPECT_EQ(Text(error), c.error) << c.text;
  }
}

CallRequest Request(const char* url, const char* method,
                    std::vector<std::pair<const char*, const char*>> fields = {}) {
  CallRequest request;
  request.url = url;
  request.method = method;
  for (auto& f : fields) request.fields.push_back(CallField{f.first, f.second});
  return request;
}

TEST(CallMessage, RequestTextPerMethod) {
  struct Case {
    CallRequest request;
    const char* head;
    CallMode mode;
  } cases[] = {
      {Request("http://h/p", "GET", {{"a b", "1&2"}, {"c", ""}}),
       "GET /p?a+b=1%262&c= HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", kCallQuery},
      // A URL with a query gets "&", never a second "?".
      {Request("http://h/p?x=1", "get", {{"a", "2"}}),
       "get /p?x=1&a=2 HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", kCallQuery},
      {Request("http://h/p?", "GET", {{"a", "2"}}),
       "GET /p?a=2 HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", kCallQuery},
      {Request("http://h:81/", "post", {{"a", "x y"}}),
       "POST / HTTP/1.1\r\nHost: h:81\r\nContent-Type: application/x-www-form-urlencoded\r\n"
       "Content-Length: 5\r\nConnection: close\r\n\r\n",
       kCallForm},
      {Request("http://h/", "HEAD", {{"a", "1"}}),
       "HEAD / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", kCallHead},
      {Request("http://h/", "xml", {{"a", "<x/>"}, {"b", "&"}}),
       "POST / HTTP/1.1\r\nHost: h\r\nContent-Type: text/xml\r\nContent-Length: 5\r\n"
       "Connection: close\r\n\r\n",
       kCallRaw},
      {Request("http://h/", "PUT", {{"a", "abc"}}),
       "PUT / HTTP/1.1\r\nHost: h\r\nContent-Type: text/plain\r\nContent-Length: 3\r\n"
       "Connection: close\r\n\r\n",
       kCallRaw},
      {Request("http://h/", "fetch", {{"a", "1"}}),
       "POST / HTTP/1.1\r\nHost: h\r\nContent-Type: application/x-www-form-urlencoded\r\n"
       "Content-Length: 3\r\nConnection: close\r\n\r\n",
       kCallForm},
      {Request("http://h/", "fetch"), "GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n",
       kCallQuery},
  };
  for (Case& c : cases) {
    Url url;
    String error;
    ASSERT_EQ(SplitURL(c.request.url, &url, &error), 1);
    CallMessage message;
    ASSERT_EQ(message.Build(c.request, url, nullptr, &error), 1) << Text(error);
    EXPECT_EQ(Text(message.head()), c.head);
    EXPECT_EQ(message.mode(), c.mode) << c.head;
  }
}

TEST(CallMessage, ScriptTextCannotInjectHeaders) {
  struct Case {
    const char* content_type;
    const char* headers;
    const char* file_field;
    int ok;
  } cases[] = {
      {"", "X-A: 1\r\nX-B: 2\r\n", nullptr, 1},
      {"text/plain\r\nX-Evil: 1", "", nullptr, 0},
      {"", "X-A: 1", nullptr, 0},                 // no line end of its own
      {"", "X-A: 1\nX-B: 2\r\n", nullptr, 0},     // bare LF
      {"", "X-A: 1\r\n\r\nGET / HTTP/1.1\r\n", nullptr, 0},  // an empty line ends the head
      {"", "no colon\r\n", nullptr, 0},
      {"", "", "f\r\nX-Evil: 1", 0},
  };
  for (const Case& c : cases) {
    CallRequest request = Request("http://h/", "POST", {{"a", "1"}});
    request.content_type = c.content_type;
    request.headers = c.headers;
    if (c.file_field) request.files.push_back(CallFile{c.file_field, "x.txt", "text/plain"});
    Url url;
    String error;
    ASSERT_EQ(SplitURL(request.url, &url, &error), 1);
    CallMessage message;
    EXPECT_EQ(message.Build(request, url, nullptr, &error), c.ok) << c.headers << c.content_type;
    if (c.ok) {
      EXPECT_NE(Text(message.head()).find(c.headers), std::string::npos);
    }
  }
}

struct ResponseResult {
  int head_ok = 0;
  int32_t status = 0;
  std::vector<std::string> lines;
  std::string body;
  std::string error;
};

ResponseResult ReadResponse(const std::string& bytes, int32_t piece, bool head_request = false) {
  BytesConnection connection(bytes, piece);
  HTTPResponseStream stream(&connection, 1);
  ResponseResult result;
  result.head_ok = stream.ReadHead(head_request);
  result.status = stream.status();
  for (const auto& h : stream.headers()) result.lines.push_back(Text(h.line));
  if (!result.head_ok) {
    result.error = Text(stream.ErrorText());
    return result;
  }
  char block[7];
  for (;;) {
    int32_t got = stream.Read(block, sizeof block);
    if (got < 0) {
      result.error = Text(stream.ErrorText());
      break;
    }
    if (got == 0) break;
    result.body.append(block, static_cast<size_t>(got));
  }
  return result;
}

TEST(HTTPResponseStream, BodiesAndErrors) {
  const std::string long_line(HTTPResponseStream::kMaxLineLength + 1, 'x');
  std::string many_headers = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i <= HTTPResponseStream::kMaxHeaders; ++i) many_headers += "X: 1\r\n";
  many_headers += "\r\n";
  struct Case {
    std::string bytes;
    int32_t status;
    const char* body;
    const char* error;  // "" when the whole body reads
    bool head_request;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello!!", 200, "hello", "", false},
      {"HTTP/1.0 200 OK\nServer: x\n\nto the end", 200, "to the end", "", false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\nContent-Length: 3\r\n\r\n"
       "5;ext=1\r\nhello\r\nA\r\n, world!!!\r\n0\r\n\r\n",
       200, "hello, world!!!", "", false},
      {"HTTP/1.1 302 Found\r\nLocation: /new\r\nContent-Length: 0\r\n\r\n", 302, "", "", false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n", 200, "", "", true},
      {"HTTP/1.1 204 No Content\r\n\r\nignored", 204, "", "", false},
      // A short body is an error, not a complete response.
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello", 200, "hello",
       "Connection closed before the end of the response", false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", 200, "hel",
       "Connection closed before the end of the response", false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\nx", 200, "hello",
       "Invalid chunk terminator", false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nTrailer: 1\r\n\r\n", 200, "",
       "Invalid chunk terminator", false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-5\r\nhello\r\n", 200, "",
       "Invalid chunk size", false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffffffffffffffff\r\n", 200, "",
       "Invalid chunk size", false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\n", 200, "", "Invalid Content-Length", false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 200, "",
       "Invalid Content-Length", false},
      {"HTTP/1.1 OK\r\n\r\n", -1, "", "Malformed response status line", false},
      {"SSH-2.0-x 200\r\n\r\n", -1, "", "Malformed response status line", false},
      {"HTTP/1.1 2000 OK\r\n\r\n", -1, "", "Malformed response status line", false},
      {"HTTP/1.1 20x OK\r\n\r\n", -1, "", "Malformed response status line", false},
      {"HTTP/1.1 404\r\n\r\n", 404, "", "", false},
      {"", -1, "", "Connection closed before the end of the response", false},
      {"HTTP/1.1 200 OK\r\nX: " + long_line + "\r\n\r\n", 200, "", "Response line too long", false},
      {many_headers, 200, "", "Too many response headers", false},
  };
  for (const Case& c : cases) {
    for (int32_t piece : {1, 2, 3, 5, 4096}) {
      ResponseResult r = ReadResponse(c.bytes, piece, c.head_request);
      std::string label = c.bytes.substr(0, 60) + " piece " + std::to_string(piece);
      EXPECT_EQ(r.status, c.status) << label;
      EXPECT_EQ(r.body, c.body) << label;
      EXPECT_EQ(r.error, c.error) << label;
    }
  }
}

TEST(HTTPResponseStream, KeepsEveryHeaderLineInOrder) {
  ResponseResult r = ReadResponse(
      "HTTP/1.1 301 Moved\r\nLocation: http://h/b\r\nSet-Cookie: a=1\r\nX-Empty:\r\n\r\n", 4);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"HTTP/1.1 301 Moved", "Location: http://h/b",
                                               "Set-Cookie: a=1", "X-Empty:"}));
}

struct Object {
  std::string kind;  // "text", "tag" or "error"
  std::string value;
  std::string element;
  std::map<std::string, std::string> attributes;
  bool operator==(const Object& o) const {
    return kind == o.kind && value == o.value && element == o.element && attributes == o.attributes;
  }
};

std::ostream& operator<<(std::ostream& out, const Object& o) {
  out << o.kind << " [" << o.value << "] <" << o.element << ">";
  for (auto& a : o.attributes) out << " " << a.first << "=" << a.second;
  return out;
}

std::vector<Object> SplitResponse(const std::string& response, int32_t piece) {
  BytesConnection connection(response, piece);
  HTTPResponseStream stream(&connection, 1);
  std::vector<Object> objects;
  if (!stream.ReadHead(false)) return objects;
  CallBuffer buffer(&stream);
  TagSplitter splitter(&buffer);
  CallObject object;
  for (int guard = 0; guard < 100; ++guard) {
    int result = splitter.Next(&object);
    if (result == 0) break;
    if (result < 0) {
      objects.push_back(Object{"error", Text(splitter.ErrorText()), "", {}});
      break;
    }
    Object o{object.is_tag ? "tag" : "text", Text(object.value), Text(object.element), {}};
    EXPECT_EQ(object.names.size(), object.values.size());
    for (size_t i = 0; i < object.names.size(); ++i)
      o.attributes[Text(object.names[i])] = Text(object.values[i]);
    objects.push_back(o);
  }
  return objects;
}

std::vector<Object> Split(const std::string& body, int32_t piece) {
  return SplitResponse("HTTP/1.0 200 OK\r\n\r\n" + body, piece);
}

std::vector<Object> SplitChunked(const std::string& chunks) {
  return SplitResponse("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks, 4096);
}

TEST(TagSplitter, ObjectsAndErrors) {
  using A = std::map<std::string, std::string>;
  struct Case {
    std::string body;
    std::vector<Object> objects;
  } cases[] = {
      {"", {}},
      {"just text", {{"text", "just text", "", {}}}},
      {"a<b>c</b>",
       {{"text", "a", "", {}}, {"tag", "<b>", "b", {}}, {"text", "c", "", {}}, {"tag", "</b>", "/b", {}}}},
      {"<option value=\"1 2\" selected data-x='q\"r' n = v>",
       {{"tag", "<option value=\"1 2\" selected data-x='q\"r' n = v>", "option",
         A{{"value", "1 2"}, {"selected", "selected"}, {"data-x", "q\"r"}, {"n", "v"}}}}},
      {"<img src=a.png />", {{"tag", "<img src=a.png />", "img", A{{"src", "a.png"}}}}},
      {"<a x/y>", {{"error", "Found &quot;y&quot; in tag following /", "", {}}}},
      {"<a href=\"x", {{"error", "Unexpected EOF in tag", "", {}}}},
      {"<a", {{"error", "Unexpected EOF in tag", "", {}}}},
      {"<!-- a > b -- c -->d", {{"tag", "<!-- a > b -- c -->", "!--", {}}, {"text", "d", "", {}}}},
      {"<!---->", {{"tag", "<!---->", "!--", {}}}},
      {"<!-->x-->", {{"tag", "<!-->x-->", "!--", {}}}},
      {"<![CDATA[a]>b]]>", {{"tag", "<![CDATA[a]>b]]>", "![CDATA[a]", {}}}},
      {"<!DOCTYPE x [<!ENTITY y \"z\">]>t",
       {{"tag", "<!DOCTYPE x [<!ENTITY y \"z\">]>", "!DOCTYPE", {}}, {"text", "t", "", {}}}},
      {"<!-- open", {{"error", "Unexpected EOF in HTML comment or CDATA section", "", {}}}},
      {"<![CDATA[ x ]>", {{"error", "Unexpected EOF in HTML comment or CDATA section", "", {}}}},
      {"<!DOCTYPE [<x>", {{"error", "Unexpected EOF in DOCTYPE or other XML tag", "", {}}}},
  };
  // Text before a failed read still comes out, then the failure.
  EXPECT_EQ(SplitChunked("5\r\nab<i>\r\n3\r\ncd"),
            (std::vector<Object>{{"text", "ab", "", {}}, {"tag", "<i>", "i", {}},
                                 {"text", "cd", "", {}},
                                 {"error", "Connection closed before the end of the response", "", {}}}));
  for (const Case& c : cases) {
    for (int32_t piece : {1, 3, 4096}) {
      EXPECT_EQ(Split(c.body, piece), c.objects) << c.body << " piece " << piece;
    }
  }
}

}  // namespace
}  // namespace pexo
