#include "net/posix_network_connection.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "net/sigpipe_guard.h"
#include "net/socket_error.h"

namespace pexo {

PosixNetworkConnection::PosixNetworkConnection(const NetworkSettings* settings,
                                               const RequestDeadline* deadline)
    : settings_(settings), deadline_(deadline) {}

PosixNetworkConnection::~PosixNetworkConnection() { Close(); }

void PosixNetworkConnection::Close() {
  tls_.reset();
  pending_.clear();
  pending_at_ = 0;
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
}

void PosixNetworkConnection::SetTls(std::unique_ptr<TlsSession> session) {
  tls_ = std::move(session);
  pending_.clear();
  pending_at_ = 0;
}

void PosixNetworkConnection::Fail(const char* prefix, int error) {
  String text(prefix);
  if (error) text.append(SocketErrorText(error));
  SetErrorText(text);
}

bool PosixNetworkConnection::AwaitReady(short events, int32_t timeout, const char* operation) {
  int error = 0;
  WaitOutcome outcome = Wait(events, timeout, &error);
  if (outcome == kReady) return true;
  String text(operation);
  if (outcome == kTimedOut) {
    text.append(" Timeout");
    SetErrorText(text);
  } else if (outcome == kFailed) {
    text.append(" Error: ");
    Fail(text.c_str(), error);
  } else {
    text.append(" Error");
    SetErrorText(text);
  }
  return false;
}

PosixNetworkConnection::WaitOutcome PosixNetworkConnection::Wait(short events, int32_t timeout,
                                                                 int* error) const {
  for (;;) {
    pollfd entry = {socket_, events, 0};
    int wait = WaitMilliseconds(timeout, settings_->timeout_global, *deadline_);
    int ready = poll(&entry, 1, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return kFailed;
    }
    if (ready == 0) return kTimedOut;
    // An error or hang-up makes the following call report what happened.
    if (entry.revents & (events | POLLERR | POLLHUP)) return kReady;
    return kNotReady;
  }
}

int PosixNetworkConnection::Connect(const sockaddr* address, int32_t address_length,
                                    int32_t timeout) {
  Close();
  peer_address_.clear();
  int family = address->sa_family;
  if (family != AF_INET && family != AF_INET6) {
    String text("Unsupported address family ");
    char number[16];
    snprintf(number, sizeof number, "%d", family);
    text.append(number);
    SetErrorText(text);
    return 0;
  }
  socket_ = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (socket_ < 0) {
    Fail("", errno);
    return 0;
  }
  char numeric[INET6_ADDRSTRLEN] = "";
  const void* bytes = family == AF_INET
                          ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr)
                          : static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
  inet_ntop(family, bytes, numeric, sizeof numeric);
  peer_address_.assign(numeric);
  if (connect(socket_, address, static_cast<socklen_t>(address_length)) == 0) return 1;
  if (errno != EINPROGRESS) {
    Fail("", errno);
    Close();
    return 0;
  }
  pollfd entry = {socket_, POLLOUT, 0};
  int ready;
  do {
    ready = poll(&entry, 1, WaitMilliseconds(timeout, settings_->timeout_global, *deadline_));
  } while (ready < 0 && errno == EINTR);
  int error = 0;
  socklen_t length = sizeof error;
  if (ready < 0) {
    Fail("", errno);
  } else if (ready == 0) {
    SetErrorText("Connection timed out");
  } else if (entry.revents & (POLLERR | POLLHUP)) {
    SetErrorText("Connection failed");
  } else if (!(entry.revents & POLLOUT)) {
    SetErrorText("Unknown error");
  } else if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0) {
    Fail("", error);
  } else {
    return 1;
  }
  Close();
  return 0;
}

int32_t PosixNetworkConnection::Read(char* buffer, int32_t size, int32_t timeout) {
  if (tls_) return TlsRead(buffer, size, timeout);
  for (;;) {
    ssize_t got = recv(socket_, buffer, static_cast<size_t>(size), 0);
    if (got >= 0) return static_cast<int32_t>(got);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      Fail("Read Error: ", errno);
      return -1;
    }
    if (!AwaitReady(POLLIN, timeout, "Read")) return -1;
  }
}

int32_t PosixNetworkConnection::ReadLine(String* line, int32_t chunk_size, int32_t timeout) {
  if (tls_) return TlsReadLine(line, chunk_size, timeout);
  line->clear();
  if (chunk_size < 1) chunk_size = 1;
  String chunk;
  if (!chunk.resize(chunk_size)) {
    SetErrorText("Read Error: Out of memory");
    return -1;
  }
  for (;;) {
    ssize_t got = recv(socket_, chunk.mutable_data(), static_cast<size_t>(chunk_size), MSG_PEEK);
    if (got == 0) {
      SetErrorText("Read Error: Connection closed by remote host");
      return -1;
    }
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        Fail("Read Error: ", errno);
        return -1;
      }
      if (!AwaitReady(POLLIN, timeout, "Read")) return -1;
      continue;
    }
    const char* feed = static_cast<const char*>(memchr(chunk.data(), '\n', static_cast<size_t>(got)));
    size_t take = feed ? static_cast<size_t>(feed - chunk.data()) + 1 : static_cast<size_t>(got);
    ssize_t taken;
    do {
      taken = recv(socket_, chunk.mutable_data(), take, 0);
    } while (taken < 0 && errno == EINTR);
    if (taken <= 0) {
      Fail("Read Error: ", taken < 0 ? errno : ECONNRESET);
      return -1;
    }
    line->append(chunk.data(), static_cast<int32_t>(taken));
    // A line may end exactly at the cap; whether the feed came in the chunk
    // that crosses it depends on how the peer's bytes were split.
    bool complete = feed && static_cast<size_t>(taken) == take;
    if (complete && line->length() <= kMaxLineLength) return line->length();
    if (line->length() >= kMaxLineLength) {
      SetErrorText("Read Error: Line too long");
      return -1;
    }
  }
}

int32_t PosixNetworkConnection::Write(const char* bytes, int32_t length, int32_t timeout) {
  if (tls_) return TlsWrite(bytes, length, timeout);
  int32_t sent = 0;
  while (sent < length) {
    ssize_t n = send(socket_, bytes + sent, static_cast<size_t>(length - sent), MSG_NOSIGNAL);
    if (n >= 0) {
      sent += static_cast<int32_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      Fail("Write Error: ", errno);
      return -1;
    }
    if (!AwaitReady(POLLOUT, timeout, "Write")) return -1;
  }
  return sent;
}

int32_t PosixNetworkConnection::TlsReceive(char* buffer, int32_t size, int32_t timeout) {
  const OpenSSL* lib = tls_->library();
  SigpipeGuard no_sigpipe;
  lib->ClearErrors();
  for (;;) {
    errno = 0;
    int got = lib->SSL_read(tls_->ssl(), buffer, size);
    if (got > 0) return got;
    int kind = lib->SSL_get_error(tls_->ssl(), got);
    short events = 0;
    if (kind == OpenSSL::kErrorWantRead) events = POLLIN;
    if (kind == OpenSSL::kErrorWantWrite) events = POLLOUT;
    if (kind == OpenSSL::kErrorZeroReturn) return 0;
    if (kind == OpenSSL::kErrorSsl) {
      String text("SSL Read Error: ");
      text.append(lib->ErrorText());
      SetErrorText(text);
      return -1;
    }
    if (kind == OpenSSL::kErrorSyscall) {
      String queued = lib->ErrorText();
      if (!queued.empty()) {
        String text("SSL Read Error: ");
        text.append(queued);
        SetErrorText(text);
      } else if (errno != 0) {
        Fail("SSL Read Error: ", errno);
      } else {
        SetErrorText("SSL Read Error: The remote server closed the connection");
      }
      return -1;
    }
    if (!events) {
      SetErrorText("SSL Read Error: Unknown error");
      return -1;
    }
    if (!AwaitReady(events, timeout, "SSL Read")) return -1;
  }
}

int32_t PosixNetworkConnection::TlsRead(char* buffer, int32_t size, int32_t timeout) {
  int32_t held = pending_.length() - pending_at_;
  if (held > 0) {
    int32_t take = held < size ? held : size;
    memcpy(buffer, pending_.data() + pending_at_, static_cast<size_t>(take));
    pending_at_ += take;
    return take;
  }
  return TlsReceive(buffer, size, timeout);
}

int32_t PosixNetworkConnection::TlsReadLine(String* line, int32_t chunk_size, int32_t timeout) {
  line->clear();
  if (chunk_size < 1) chunk_size = 1;
  for (;;) {
    int32_t held = pending_.length() - pending_at_;
    if (held > 0) {
      const char* start = pending_.data() + pending_at_;
      const char* feed = static_cast<const char*>(memchr(start, '\n', static_cast<size_t>(held)));
      int32_t take = feed ? static_cast<int32_t>(feed - start) + 1 : held;
      line->append(start, take);
      pending_at_ += take;
      if (feed && line->length() <= kMaxLineLength) return line->length();
      if (line->length() >= kMaxLineLength) {
        SetErrorText("Read Error: Line too long");
        return -1;
      }
    }
    if (!pending_.resize(chunk_size)) {
      SetErrorText("SSL Read Error: Out of memory");
      return -1;
    }
    pending_at_ = 0;
    int32_t got = TlsReceive(pending_.mutable_data(), chunk_size, timeout);
    if (got <= 0) {
      pending_.clear();
      if (got == 0) SetErrorText("Read Error: Connection closed by remote host");
      return -1;
    }
    pending_.resize(got);
  }
}

int32_t PosixNetworkConnection::TlsWrite(const char* bytes, int32_t length, int32_t timeout) {
  const OpenSSL* lib = tls_->library();
  SigpipeGuard no_sigpipe;
  lib->ClearErrors();
  int32_t sent = 0;
  while (sent < length) {
    int n = lib->SSL_write(tls_->ssl(), bytes + sent, length - sent);
    if (n > 0) {
      sent += n;
      continue;
    }
    int kind = lib->SSL_get_error(tls_->ssl(), n);
    short events = kind == OpenSSL::kErrorWantRead    ? POLLIN
                   : kind == OpenSSL::kErrorWantWrite ? POLLOUT
                                                      : 0;
    if (!events) {
      String text("Write Error: ");
      String queued = lib->ErrorText();
      text.append(queued.empty() ? SocketErrorText(errno ? errno : ECONNRESET) : queued);
      SetErrorText(text);
      return -1;
    }
    if (!AwaitReady(events, timeout, "Write")) return -1;
  }
  return sent;
}

}  // namespace pexo
