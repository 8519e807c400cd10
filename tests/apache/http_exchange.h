// A minimal HTTP/1.1 client for the loopback tests: sends raw request bytes,
// reads the replies (bounded in time) and splits each into status, headers
// and a de-chunked body.
#ifndef PEXO_TESTS_APACHE_HTTP_EXCHANGE_H_
#define PEXO_TESTS_APACHE_HTTP_EXCHANGE_H_

#include <string>
#include <utility>
#include <vector>

namespace pexo {
namespace testing_apache {

struct HttpReply {
  int status = 0;
  std::string reason;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool chunked = false;

  // First value of a header (name compared without letter case); "" if absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
  int Count(const std::string& name) const;
};

// Sends `request` to 127.0.0.1:`port` and reads until the server closes.
std::string Exchange(int port, const std::string& request);
// Parses consecutive replies from `raw`; false when one is malformed.
bool ParseReplies(const std::string& raw, std::vector<HttpReply>* replies);
// GET (or another method) with Connection: close; one parsed reply.
HttpReply Request(int port, const std::string& method, const std::string& target,
                  const std::string& extra_headers = "", const std::string& body = "");

}  // namespace testing_apache
}  // namespace pexo

#endif  // PEXO_TESTS_APACHE_HTTP_EXCHANGE_H_
