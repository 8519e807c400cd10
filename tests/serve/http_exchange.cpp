#include "http_exchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>

namespace pexo {
namespace testing_serve {

void TestServer::StopAndClean() {
  Stop();
  if (!work_dir().empty()) {
    int rc = std::system(("rm -rf '" + work_dir() + "'").c_str());
    (void)rc;
  }
}

int Connect(int port, int read_timeout_ms) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  struct timeval limit = {read_timeout_ms / 1000, (read_timeout_ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string ReadAll(int fd) {
  std::string reply;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) reply.append(buffer, static_cast<size_t>(n));
  return reply;
}

std::string Exchange(int port, const std::string& request) {
  int fd = Connect(port);
  if (fd < 0) return "";
  std::string reply;
  if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
    reply = ReadAll(fd);
  }
  close(fd);
  return reply;
}

std::string Get(int port, const std::string& target, const std::string& extra) {
  return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n" + extra +
                            "Connection: close\r\n\r\n");
}

std::string Post(int port, const std::string& target, const std::string& type,
                 const std::string& body) {
  return Exchange(port, "POST " + target + " HTTP/1.1\r\nHost: localhost\r\nContent-Type: " +
                            type + "\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\nConnection: close\r\n\r\n" + body);
}

std::string BodyOf(const std::string& reply) {
  size_t at = reply.find("\r\n\r\n");
  return at == std::string::npos ? "" : reply.substr(at + 4);
}

std::string HeaderOf(const std::string& reply, const std::string& name) {
  size_t end = reply.find("\r\n\r\n");
  std::string key = "\r\n" + name + ": ";
  size_t at = reply.find(key);
  if (at == std::string::npos || at >= end) return "";
  at += key.size();
  return reply.substr(at, reply.find("\r\n", at) - at);
}

}  // namespace testing_serve
}  // namespace pexo
