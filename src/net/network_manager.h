// NetworkManager: opens the request's outbound connections (directly or
// through a SOCKS 4 or 5 proxy) and upgrades them to TLS. Owned by the
// application and used by one request at a time; it keeps the settings the
// caller filled, the request deadline every wait honours, the TLS context
// and the last error text. The platform class resolves names and makes
// connections; the exchanges and checks here are platform-free.
#ifndef PEXO_NET_NETWORK_MANAGER_H_
#define PEXO_NET_NETWORK_MANAGER_H_

#include <cstdint>
#include <memory>

#include "net/network_connection.h"
#include "net/network_settings.h"
#include "net/openssl.h"

namespace pexo {

// What StartTLS is asked to do besides the handshake.
struct TlsOptions {
  enum : int32_t { kForceVerify = 2 };
  String host;              // name or numeric address of the peer
  String certificate_file;  // client certificate and key, already resolved path
  String certificate_data;  // or the certificate and key themselves
  String certificate_type;  // "p…"/empty: PEM, "a…": DER
  String key;               // the PEM key's password
  int32_t verify_flags = 0;
  String pin_algorithm;     // digest name, e.g. "sha256"
  String pin;               // the expected digest bytes
};

class NetworkManager {
 public:
  explicit NetworkManager(const NetworkSettings& settings);
  NetworkManager(const NetworkManager&) = delete;
  NetworkManager& operator=(const NetworkManager&) = delete;
  virtual ~NetworkManager();

  const NetworkSettings& settings() const { return settings_; }
  RequestDeadline* deadline() { return &deadline_; }

  virtual bool IsIPAddress(const String& text) const = 0;
  // The first resolved address of host as numeric text.
  virtual bool LookUp(const String& host, String* address) = 0;
  virtual bool LookUpIPv4(const String& host, unsigned char address[4]) = 0;
  // The SOCKS 5 address field of host: type byte and address.
  virtual bool SocksAddress(const String& host, String* field) = 0;
  virtual std::unique_ptr<NetworkConnection> OpenDirectConnection(const String& host,
                                                                  int32_t port,
                                                                  int32_t timeout) = 0;

  // Direct, or through the configured proxy. Null on failure (error text set).
  virtual std::unique_ptr<NetworkConnection> OpenConnection(const String& host, int32_t port,
                                                            int32_t timeout);
  // Upgrades the connection in place; on any failure the connection is
  // closed, so no data reaches an unverified peer.
  virtual int StartTLS(NetworkConnection* connection, const TlsOptions& options,
                       int32_t timeout);
  virtual int Socks4(NetworkConnection* connection, const String& host, int32_t port,
                     int32_t timeout);
  virtual int Socks5(NetworkConnection* connection, const String& host, int32_t port,
                     int32_t timeout);
  // Read a certificate and its key from one buffer or file; type as above.
  virtual int LoadClientCertificateFromBuffer(const OpenSSL* library, const String& data,
                                              const String& type, const String& password,
                                              X509Cert** certificate, EvpPkey** key);
  virtual int LoadClientCertificateFromFile(const OpenSSL* library, const String& path,
                                            const String& type, const String& password,
                                            X509Cert** certificate, EvpPkey** key);
  virtual bool CheckHostName(const OpenSSL* library, X509Cert* certificate, const String& host);
  virtual bool CheckIPAddress(const OpenSSL* library, X509Cert* certificate,
                              const String& address);
  // 1 match, 0 mismatch or error (error text set).
  virtual int CheckPin(const OpenSSL* library, X509Cert* certificate, const String& algorithm,
                       const String& pin);
  virtual void SetErrorText(const String& text) { error_ = text; }
  const String& ErrorText() const { return error_; }

 protected:
  NetworkSettings settings_;
  RequestDeadline deadline_;

 private:
  // The handshake proper; StartTLS closes the connection when it fails.
  int Handshake(NetworkConnection* connection, const TlsOptions& options, int32_t timeout);
  bool EnsureContext(const OpenSSL* library);

  SslCtx* context_ = nullptr;
  const OpenSSL* context_library_ = nullptr;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_NET_NETWORK_MANAGER_H_
