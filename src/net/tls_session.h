// TlsSession: the TLS state of one connection: the session handle, the
// peer's certificate and the client certificate and key handed to it. All
// are released together when the session is destroyed (the connection is
// closed, reconnected or upgraded again).
#ifndef PEXO_NET_TLS_SESSION_H_
#define PEXO_NET_TLS_SESSION_H_

#include "net/openssl.h"

namespace pexo {

class TlsSession {
 public:
  explicit TlsSession(const OpenSSL* library) : library_(library) {}
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;
  ~TlsSession();

  const OpenSSL* library() const { return library_; }
  Ssl* ssl() const { return ssl_; }
  X509Cert* peer_certificate() const { return peer_; }

  void set_ssl(Ssl* ssl) { ssl_ = ssl; }
  void set_peer_certificate(X509Cert* peer) { peer_ = peer; }
  // Takes the client certificate and key (either may be null).
  void set_client(X509Cert* certificate, EvpPkey* key) {
    client_certificate_ = certificate;
    client_key_ = key;
  }

  // The peer certificate in PEM form; false when there is none.
  bool PeerCertificatePem(String* pem) const;

 private:
  const OpenSSL* library_;
  Ssl* ssl_ = nullptr;
  X509Cert* peer_ = nullptr;
  X509Cert* client_certificate_ = nullptr;
  EvpPkey* client_key_ = nullptr;
};

}  // namespace pexo

#endif  // PEXO_NET_TLS_SESSION_H_
