#include "net/network_manager.h"

#include <errno.h>
#include <poll.h>

#include <cctype>
#include <cstdio>

#include "net/sigpipe_guard.h"
#include "net/socket_error.h"
#include "net/socks.h"
#include "net/tls_session.h"

namespace pexo {
namespace {

const int32_t kSocksTextLimit = 255;
const int kMaxDigest = 64;

String Joined(const char* prefix, const String& text) {
  String joined(prefix);
  joined.append(text);
  return joined;
}

// Length of the first DER object in bytes, or 0 when the header is not one
// that fits the buffer.
int32_t DerObjectLength(const unsigned char* bytes, int32_t length) {
  if (length < 2) return 0;
  int32_t header = 2;
  int64_t body = bytes[1];
  if (body & 0x80) {
    int count = static_cast<int>(body & 0x7f);
    if (count == 0 || count > 4 || length < 2 + count) return 0;
    body = 0;
    for (int i = 0; i < count; ++i) body = (body << 8) | bytes[2 + i];
    header += count;
  }
  if (body > length - header) return 0;
  return static_cast<int32_t>(header + body);
}

}  // namespace

NetworkManager::NetworkManager(const NetworkSettings& settings) : settings_(settings) {}

NetworkManager::~NetworkManager() {
  if (context_) context_library_->SSL_CTX_free(context_);
}

std::unique_ptr<NetworkConnection> NetworkManager::OpenConnection(const String& host,
                                                                  int32_t port,
                                                                  int32_t timeout) {
  if (settings_.socks_host.empty()) return OpenDirectConnection(host, port, timeout);
  if (settings_.socks_version != 4 && settings_.socks_version != 5) {
    SetErrorText("Unsupported SOCKS version");
    return nullptr;
  }
  std::unique_ptr<NetworkConnection> proxy =
      OpenDirectConnection(settings_.socks_host, settings_.socks_port, timeout);
  if (!proxy) return nullptr;
  int done = settings_.socks_version == 4 ? Socks4(proxy.get(), host, port, timeout)
                                          : Socks5(proxy.get(), host, port, timeout);
  if (!done) return nullptr;
  return proxy;
}

int NetworkManager::Socks4(NetworkConnection* connection, const String& host, int32_t port,
                           int32_t timeout) {
  unsigned char address[4];
  if (!LookUpIPv4(host, address)) {
    String text("SOCKS4: Error looking up '");
    text.append(host);
    text.append("'");
    SetErrorText(text);
    return 0;
  }
  String error;
  if (Socks4Handshake(connection, address, port, settings_.socks_username, timeout, &error))
    return 1;
  SetErrorText(error);
  return 0;
}

int NetworkManager::Socks5(NetworkConnection* connection, const String& host, int32_t port,
                           int32_t timeout) {
  if (settings_.socks_username.length() > kSocksTextLimit ||
      settings_.socks_password.length() > kSocksTextLimit) {
    SetErrorText("SOCKS5: Username / password must be 255 characters or less");
    return 0;
  }
  String field;
  if (!SocksAddress(host, &field)) return 0;
  String error;
  if (Socks5Handshake(connection, field, port, settings_.socks_username,
                      settings_.socks_password, timeout, &error))
    return 1;
  SetErrorText(error);
  return 0;
}

bool NetworkManager::EnsureContext(const OpenSSL* library) {
  if (context_) return true;
  SslCtx* context = library->SSL_CTX_new(library->ClientMethod());
  if (!context) {
    SetErrorText(Joined("Error allocating SSL context: ", library->ErrorText()));
    return false;
  }
  if (!settings_.file_ca.empty() || !settings_.dir_ca.empty()) {
    // A location that does not load leaves the peer unverifiable, which
    // the handshake then reports.
    library->SSL_CTX_load_verify_locations(
        context, settings_.file_ca.empty() ? nullptr : settings_.file_ca.c_str(),
        settings_.dir_ca.empty() ? nullptr : settings_.dir_ca.c_str());
  }
  library->SSL_CTX_set_verify(context,
                              (settings_.flags_security & kSecurityNoPeerVerify)
                                  ? OpenSSL::kVerifyNone
                                  : OpenSSL::kVerifyPeer,
                              nullptr);
  context_ = context;
  context_library_ = library;
  return true;
}

int NetworkManager::StartTLS(NetworkConnection* connection, const TlsOptions& options,
                             int32_t timeout) {
  if (Handshake(connection, options, timeout)) return 1;
  connection->SetErrorText(ErrorText());
  connection->Close();
  return 0;
}

int NetworkManager::Handshake(NetworkConnection* connection, const TlsOptions& options,
                              int32_t timeout) {
  String error;
  const OpenSSL* library = OpenSSL::Instance(settings_, &error);
  if (!library) {
    SetErrorText(error);
    return 0;
  }
  library->ClearErrors();
  if (!EnsureContext(library)) return 0;
  X509Cert* certificate = nullptr;
  EvpPkey* key = nullptr;
  if (!options.certificate_file.empty()) {
    if (!LoadClientCertificateFromFile(library, options.certificate_file,
                                       options.certificate_type, options.key, &certificate,
                                       &key))
      return 0;
  } else if (!options.certificate_data.empty()) {
    if (!LoadClientCertificateFromBuffer(library, options.certificate_data,
                                         options.certificate_type, options.key, &certificate,
                                         &key))
      return 0;
  }
  std::unique_ptr<TlsSession> session(new TlsSession(library));
  session->set_client(certificate, key);
  if (connection->Socket() < 0) {
    SetErrorText("TCP connection not established");
    return 0;
  }
  // The connection forgets any earlier session before the new one starts.
  connection->SetTls(nullptr);
  Ssl* ssl = library->SSL_new(context_);
  if (!ssl) {
    SetErrorText(Joined("Error allocating SSL handle: ", library->ErrorText()));
    return 0;
  }
  session->set_ssl(ssl);
  bool force = (options.verify_flags & TlsOptions::kForceVerify) != 0;
  if (force) library->SSL_set_verify(ssl, OpenSSL::kVerifyPeer, nullptr);
  bool numeric = IsIPAddress(options.host);
  bool sni = !numeric && settings_.ssl_sni != 0;
  if (sni)
    library->SSL_ctrl(ssl, OpenSSL::kCtrlSetTlsextHostname, 0,
                      const_cast<char*>(options.host.c_str()));
  if (certificate && library->SSL_use_certificate(ssl, certificate) != 1) {
    SetErrorText(Joined("Error assigning client certificate: ", library->ErrorText()));
    return 0;
  }
  if (key && library->SSL_use_PrivateKey(ssl, key) != 1) {
    SetErrorText(Joined("Error assigning client key: ", library->ErrorText()));
    return 0;
  }
  library->SSL_set_fd(ssl, connection->Socket());
  SigpipeGuard no_sigpipe;
  for (;;) {
    errno = 0;
    int result = library->SSL_connect(ssl);
    if (result == 1) break;
    int kind = library->SSL_get_error(ssl, result);
    short events = 0;
    if (kind == OpenSSL::kErrorWantRead) events = POLLIN;
    if (kind == OpenSSL::kErrorWantWrite) events = POLLOUT;
    if (kind == OpenSSL::kErrorSsl || kind == OpenSSL::kErrorSyscall) {
      String text = library->ErrorText();
      if (text.empty() && errno != 0) text = SocketErrorText(errno);
      if (text.empty()) text = "The remote server closed the connection";
      SetErrorText(Joined("Error establishing SSL connection: ", text));
      return 0;
    }
    if (kind == OpenSSL::kErrorZeroReturn) {
      SetErrorText("Error establishing SSL connection: The remote server closed the connection");
      return 0;
    }
    if (!events) {
      SetErrorText("Error establishing SSL connection: Unknown error");
      return 0;
    }
    pollfd entry = {connection->Socket(), events, 0};
    int ready = poll(&entry, 1, WaitMilliseconds(timeout, settings_.timeout_global, deadline_));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      SetErrorText(Joined("Error establishing SSL connection: ", SocketErrorText(errno)));
      return 0;
    }
    if (ready == 0) {
      SetErrorText("Error establishing SSL connection: Connection timed out");
      return 0;
    }
    if (!(entry.revents & (events | POLLERR | POLLHUP))) {
      SetErrorText("Error establishing SSL connection");
      return 0;
    }
  }
  X509Cert* peer = library->PeerCertificate(ssl);
  session->set_peer_certificate(peer);
  bool check = numeric ? (force || (settings_.flags_security & kSecurityCheckIPAddress))
                       : (force || !(settings_.flags_security & kSecurityNoHostCheck));
  if (check) {
    bool matches = peer && (numeric ? CheckIPAddress(library, peer, options.host)
                                    : CheckHostName(library, peer, options.host));
    if (!matches) {
      SetErrorText("Unable to verify server identity");
      return 0;
    }
  }
  if (!options.pin_algorithm.empty() && !options.pin.empty()) {
    if (!peer) {
      SetErrorText("Certificate does not match expected fingerprint");
      return 0;
    }
    if (!CheckPin(library, peer, options.pin_algorithm, options.pin)) return 0;
  }
  connection->SetTls(std::move(session));
  return 1;
}

bool NetworkManager::CheckHostName(const OpenSSL* library, X509Cert* certificate,
                                   const String& host) {
  return library->MatchesHost(certificate, host);
}

bool NetworkManager::CheckIPAddress(const OpenSSL* library, X509Cert* certificate,
                                    const String& address) {
  return library->MatchesIPAddress(certificate, address);
}

int NetworkManager::CheckPin(const OpenSSL* library, X509Cert* certificate,
                             const String& algorithm, const String& pin) {
  const EvpMd* digest = library->EVP_get_digestbyname(algorithm.c_str());
  if (!digest) {
    SetErrorText("Unsupported certificate pinning algorithm");
    return 0;
  }
  unsigned char bytes[kMaxDigest];
  unsigned int length = 0;
  // A pin longer than the digest can never match; it is compared only over
  // the digest's bytes.
  if (library->X509_digest(certificate, digest, bytes, &length) != 1 ||
      static_cast<unsigned int>(pin.length()) > length ||
      memcmp(bytes, pin.data(), static_cast<size_t>(pin.length())) != 0) {
    SetErrorText("Certificate does not match expected fingerprint");
    return 0;
  }
  return 1;
}

int NetworkManager::LoadClientCertificateFromFile(const OpenSSL* library, const String& path,
                                                  const String& type, const String& password,
                                                  X509Cert** certificate, EvpPkey** key) {
  FILE* file = fopen(path.c_str(), "rb");
  String data;
  bool read = file != nullptr;
  char chunk[4096];
  while (read) {
    size_t got = fread(chunk, 1, sizeof chunk, file);
    if (got > 0) data.append(chunk, static_cast<int32_t>(got));
    if (got < sizeof chunk) {
      read = !ferror(file);
      break;
    }
    if (data.length() > (1 << 24)) read = false;  // no certificate is that large
  }
  int error = errno;
  if (file) fclose(file);
  if (!read) {
    SetErrorText(Joined("Unable to read from client certificate file: ",
                        SocketErrorText(error ? error : EINVAL)));
    return 0;
  }
  return LoadClientCertificateFromBuffer(library, data, type, password, certificate, key);
}

int NetworkManager::LoadClientCertificateFromBuffer(const OpenSSL* library, const String& data,
                                                    const String& type, const String& password,
                                                    X509Cert** certificate, EvpPkey** key) {
  *certificate = nullptr;
  *key = nullptr;
  char kind = type.empty() ? 'p' : static_cast<char>(tolower(static_cast<unsigned char>(type.data()[0])));
  if (kind != 'p' && kind != 'a') {
    String text("Unsupported certificate type '");
    text.append(type);
    text.append("'");
    SetErrorText(text);
    return 0;
  }
  // DER holds the certificate and then the key: each is read from its own
  // part so the key reader never starts inside the certificate.
  int32_t first = data.length();
  if (kind == 'a') {
    int32_t der = DerObjectLength(reinterpret_cast<const unsigned char*>(data.data()), data.length());
    if (der > 0) first = der;
  }
  Bio* bio = library->BIO_new_mem_buf(data.data(), first);
  if (!bio) {
    SetErrorText(Joined("Unable to read from client certificate buffer: ", library->ErrorText()));
    return 0;
  }
  void* secret = const_cast<char*>(password.c_str());
  X509Cert* cert = kind == 'p' ? library->PEM_read_bio_X509(bio, nullptr, nullptr, secret)
                               : library->d2i_X509_bio(bio, nullptr);
  if (!cert) {
    library->BIO_free(bio);
    SetErrorText(Joined("Error reading client certificate: ", library->ErrorText()));
    return 0;
  }
  if (kind == 'p' || first == data.length()) {
    library->BIO_ctrl(bio, OpenSSL::kBioCtrlReset, 0, nullptr);
  } else {
    library->BIO_free(bio);
    bio = library->BIO_new_mem_buf(data.data() + first, data.length() - first);
    if (!bio) {
      library->X509_free(cert);
      SetErrorText(Joined("Unable to read from client certificate buffer: ", library->ErrorText()));
      return 0;
    }
  }
  EvpPkey* pkey = kind == 'p' ? library->PEM_read_bio_PrivateKey(bio, nullptr, nullptr, secret)
                              : library->d2i_PrivateKey_bio(bio, nullptr);
  library->BIO_free(bio);
  if (!pkey) {
    library->X509_free(cert);
    SetErrorText(Joined("Error reading client key: ", library->ErrorText()));
    return 0;
  }
  *certificate = cert;
  *key = pkey;
  return 1;
}

}  // namespace pexo
