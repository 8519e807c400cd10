// Raw HTTP/1.1 exchanges with a server on the loopback interface, for the
// tests that run the standalone server.
#ifndef PEXO_TESTS_SERVE_HTTP_EXCHANGE_H_
#define PEXO_TESTS_SERVE_HTTP_EXCHANGE_H_

#include <chrono>
#include <string>

#include "host/civetweb/standalone_server.h"

namespace pexo {
namespace testing_serve {

// The standalone server as the tests run it: a short watchdog interval, and
// its work directory removed when it stops.
class TestServer : public StandaloneServer {
 public:
  TestServer() : StandaloneServer(std::chrono::milliseconds(200)) {}
  ~TestServer() { StopAndClean(); }
  void StopAndClean();
};

// A socket connected to the loopback port whose reads give up after
// `read_timeout_ms`, or -1.
int Connect(int port, int read_timeout_ms = 10000);
// Reads from `fd` until the server closes or a read times out.
std::string ReadAll(int fd);
// Sends one raw request and reads until the server closes (at most 10 s
// per read); "" when no connection could be made.
std::string Exchange(int port, const std::string& request);
std::string Get(int port, const std::string& target, const std::string& extra = "");
// A POST of `body` with `type`.
std::string Post(int port, const std::string& target, const std::string& type,
                 const std::string& body);
// The body of a reply (after the blank line), "" without one.
std::string BodyOf(const std::string& reply);
// The value of the first header line `name` of a reply (case as sent), or
// "" when there is none.
std::string HeaderOf(const std::string& reply, const std::string& name);

}  // namespace testing_serve
}  // namespace pexo

#endif  // PEXO_TESTS_SERVE_HTTP_EXCHANGE_H_
