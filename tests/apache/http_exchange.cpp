#include "http_exchange.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>

namespace pexo {
namespace testing_apache {

std::string HttpReply::Header(const std::string& name) const {
  for (const auto& h : headers) {
    if (strcasecmp(h.first.c_str(), name.c_str()) == 0) return h.second;
  }
  return "";
}

bool HttpReply::HasHeader(const std::string& name) const { return Count(name) > 0; }

int HttpReply::Count(const std::string& name) const {
  int n = 0;
  for (const auto& h : headers) n += strcasecmp(h.first.c_str(), name.c_str()) == 0;
  return n;
}

std::string Exchange(int port, const std::string& request) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return "";
  struct timeval limit = {20, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    size_t sent = 0;
    while (sent < request.size()) {
      ssize_t n = write(fd, request.data() + sent, request.size() - sent);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) reply.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return reply;
}

namespace {

bool ReadLine(const std::string& raw, size_t* at, std::string* line) {
  size_t end = raw.find("\r\n", *at);
  if (end == std::string::npos) return false;
  *line = raw.substr(*at, end - *at);
  *at = end + 2;
  return true;
}

bool ParseChunked(const std::string& raw, size_t* at, std::string* body) {
  for (;;) {
    std::string size_line;
    if (!ReadLine(raw, at, &size_line)) return false;
    char* end = nullptr;
    unsigned long size = std::strtoul(size_line.c_str(), &end, 16);
    if (end == size_line.c_str()) return false;
    if (size == 0) {
      std::string trailer;
      do {
        if (!ReadLine(raw, at, &trailer)) return false;
      } while (!trailer.empty());
      return true;
    }
    if (raw.size() < *at + size + 2) return false;
    body->append(raw, *at, size);
    *at += size + 2;
  }
}

bool ParseOne(const std::string& raw, size_t* at, bool head_only, HttpReply* reply) {
  std::string line;
  if (!ReadLine(raw, at, &line) || line.compare(0, 5, "HTTP/") != 0) return false;
  size_t space = line.find(' ');
  if (space == std::string::npos) return false;
  reply->status = std::atoi(line.c_str() + space + 1);
  size_t reason = line.find(' ', space + 1);
  reply->reason = reason == std::string::npos ? "" : line.substr(reason + 1);
  while (ReadLine(raw, at, &line) && !line.empty()) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) return false;
    size_t value = line.find_first_not_of(' ', colon + 1);
    reply->headers.emplace_back(line.substr(0, colon),
                                value == std::string::npos ? "" : line.substr(value));
  }
  if (head_only) return true;
  if (strcasecmp(reply->Header("Transfer-Encoding").c_str(), "chunked") == 0) {
    reply->chunked = true;
    return ParseChunked(raw, at, &reply->body);
  }
  if (reply->HasHeader("Content-Length")) {
    size_t length = std::strtoul(reply->Header("Content-Length").c_str(), nullptr, 10);
    if (raw.size() < *at + length) return false;
    reply->body = raw.substr(*at, length);
    *at += length;
    return true;
  }
  reply->body = raw.substr(*at);
  *at = raw.size();
  return true;
}

}  // namespace

bool ParseReplies(const std::string& raw, std::vector<HttpReply>* replies) {
  size_t at = 0;
  while (at < raw.size()) {
    HttpReply reply;
    if (!ParseOne(raw, &at, false, &reply)) return false;
    replies->push_back(reply);
  }
  return true;
}

HttpReply Request(int port, const std::string& method, const std::string& target,
                  const std::string& extra_headers, const std::string& body) {
  // As a browser does: the port is part of the host on any other port than 80.
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: localhost:" +
                        std::to_string(port) + "\r\n" + extra_headers;
  if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  request += "Connection: close\r\n\r\n" + body;
  std::string raw = Exchange(port, request);
  HttpReply reply;
  size_t at = 0;
  if (!ParseOne(raw, &at, method == "HEAD", &reply)) reply.status = -1;
  return reply;
}

}  // namespace testing_apache
}  // namespace pexo
