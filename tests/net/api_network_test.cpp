// The extension API's network and HTTP-response families over loopback:
// a line exchange on a raw connection, a request with a body and its
// response read raw, and the errors each family reports.
#include <gtest/gtest.h>

#include <string>

#include "api/api_context.h"
#include "net_peers.h"
#include "pexo/pexo.h"

namespace pexo {
namespace {

using testing_net::ReadBytes;
using testing_net::ReadLineFrom;
using testing_net::ScriptedPeer;
using testing_net::WriteBytes;

TEST(ApiNetwork, LineExchangeOnARawConnection) {
  ScriptedPeer peer([](int fd) {
    WriteBytes(fd, "220 hello there\r\n");
    std::string got = ReadLineFrom(fd);
    WriteBytes(fd, "echo " + got);
  });
  ASSERT_TRUE(peer.ok());
  ApiContext context(nullptr, nullptr, nullptr);
  PexoProgram* program = AsHandle(&context);
  PexoNetwork* c = pxNetwork_Connect(program, "127.0.0.1", peer.port());
  ASSERT_NE(c, nullptr) << context.ErrorText().c_str();
  char line[8];
  // A line longer than the buffer comes back cut to size - 1 bytes.
  EXPECT_EQ(pxNetwork_Read_Line(c, line, sizeof line, 2), 7);
  EXPECT_STREQ(line, "220 hel");
  EXPECT_EQ(pxNetwork_Write(c, "ping\n", 5), 5);
  char reply[32] = {};
  int32_t got = 0, n;
  while (got < 10 && (n = pxNetwork_Read(c, reply + got, 31 - got, 2)) > 0) got += n;
  EXPECT_EQ(std::string(reply, static_cast<size_t>(got)), "echo ping\n");
  // The peer closed: a line read fails with the connection's message.
  EXPECT_EQ(pxNetwork_Read_Line(c, line, sizeof line, 2), -1);
  int32_t length = 0;
  EXPECT_STREQ(pxNetwork_Error(program, c, &length), "Read Error: Connection closed by remote host");
  EXPECT_EQ(pxNetwork_Close(c), 1);

  EXPECT_EQ(pxNetwork_Connect(program, "127.0.0.1", 1), nullptr);
  std::string error = pxNetwork_Error(program, nullptr, &length);
  EXPECT_EQ(error.compare(0, 34, "Error connecting to 127.0.0.1 on p"), 0) << error;
}

TEST(ApiNetwork, HttpRequestWithABodyReadRaw) {
  std::string received;
  ScriptedPeer peer([&](int fd) {
    while (received.find("\r\n\r\n") == std::string::npos) {
      std::string more = ReadBytes(fd, 1, 2000);
      if (more.empty()) return;
      received += more;
    }
    received += ReadBytes(fd, 7, 2000);
    WriteBytes(fd, "HTTP/1.1 201 Created\r\nContent-Length: 5\r\n\r\n<b>x!");
  });
  ASSERT_TRUE(peer.ok());
  ApiContext context(nullptr, nullptr, nullptr);
  PexoProgram* program = AsHandle(&context);
  std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/api";
  PexoHTTPResponse* r = pxNetwork_HTTP_Request(program, "POST", url.c_str(),
                                               "Content-Type: application/json\r\nX-K: 1\r\n",
                                               "{\"a\":1}", 7);
  ASSERT_NE(r, nullptr) << context.ErrorText().c_str();
  EXPECT_EQ(received, "POST /api HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(peer.port()) +
                          "\r\nContent-Type: application/json\r\nContent-Length: 7\r\nX-K: 1\r\n"
                          "Connection: close\r\n\r\n{\"a\":1}");
  EXPECT_EQ(pxHTTPResponse_Status_Code(r), 201);
  EXPECT_EQ(pxHTTPResponse_Content_Length(r), 5);
  char body[16];
  EXPECT_EQ(pxHTTPResponse_Read(r, body, sizeof body), 5);
  EXPECT_EQ(std::string(body, 5), "<b>x!");
  EXPECT_EQ(pxHTTPResponse_Read(r, body, sizeof body), 0);
  EXPECT_EQ(pxHTTPResponse_Close(r), 1);

  int32_t length = 0;
  EXPECT_EQ(pxNetwork_Open_URL(program, "http://[::1"), nullptr);
  EXPECT_STREQ(pxHTTPResponse_Error(program, nullptr, &length), "Malformed URL");
}

}  // namespace
}  // namespace pexo
