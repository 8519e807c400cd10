// OpenSSL: the table of TLS library functions, resolved by name from the two
// library files the configuration names; nothing of the library is linked.
// Three generations of its interface are told apart by what the crypto
// library exports; each derived class resolves its own function set and
// supplies the calls that differ, so callers drive any of them through this
// one table. One table serves the whole process (Instance); Load builds a
// fresh one and is what the tests use.
#ifndef PEXO_NET_OPENSSL_H_
#define PEXO_NET_OPENSSL_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "net/network_settings.h"
#include "values/string.h"

namespace pexo {

// The library's objects, opaque here.
struct SslCtx;
struct Ssl;
struct SslMethod;
struct X509Cert;
struct X509Name;
struct X509NameEntry;
struct EvpPkey;
struct EvpMd;
struct Bio;
struct BioMethod;
struct Asn1String;
struct OpaqueStack;

typedef int (*PemPasswordCallback)(char* buffer, int size, int rwflag, void* user);

class OpenSSL {
 public:
  enum Generation { k1_0_x, k1_1_x, k3_x_x };
  // Values of the library's own constants the engine uses.
  enum : int {
    kErrorNone = 0, kErrorSsl = 1, kErrorWantRead = 2, kErrorWantWrite = 3,
    kErrorSyscall = 5, kErrorZeroReturn = 6,
    kVerifyNone = 0, kVerifyPeer = 1,
    kCtrlSetTlsextHostname = 55,
    kBioCtrlReset = 1,
  };

  virtual ~OpenSSL();

  // Loads both libraries and resolves every function. On failure returns
  // null and sets *error.
  static std::unique_ptr<OpenSSL> Load(const NetworkSettings& settings, String* error);
  // The process-wide table: loaded once under a lock; later calls reuse it.
  // A recorded failure makes every later call fail with "Unable to load
  // OpenSSL DLLs" (the first caller gets the reason).
  static const OpenSSL* Instance(const NetworkSettings& settings, String* error);

  Generation generation() const { return generation_; }

  // Calls that differ between generations.
  virtual const SslMethod* ClientMethod() const = 0;
  virtual X509Cert* PeerCertificate(Ssl* ssl) const = 0;  // caller frees
  virtual bool MatchesHost(X509Cert* cert, const String& host) const = 0;
  virtual bool MatchesIPAddress(X509Cert* cert, const String& address) const = 0;

  // The text of the oldest queued error ("" when none).
  String ErrorText() const;
  // Empties this thread's error queue, so that an operation's message is
  // its own and not a leftover of an earlier one.
  void ClearErrors() const;

  // Resolved functions common to all generations.
  SslCtx* (*SSL_CTX_new)(const SslMethod*) = nullptr;
  void (*SSL_CTX_free)(SslCtx*) = nullptr;
  void (*SSL_CTX_set_verify)(SslCtx*, int, void*) = nullptr;
  int (*SSL_CTX_load_verify_locations)(SslCtx*, const char*, const char*) = nullptr;
  Ssl* (*SSL_new)(SslCtx*) = nullptr;
  int (*SSL_set_fd)(Ssl*, int) = nullptr;
  void (*SSL_set_verify)(Ssl*, int, void*) = nullptr;
  int (*SSL_connect)(Ssl*) = nullptr;
  int (*SSL_read)(Ssl*, void*, int) = nullptr;
  int (*SSL_write)(Ssl*, const void*, int) = nullptr;
  int (*SSL_get_error)(const Ssl*, int) = nullptr;
  long (*SSL_ctrl)(Ssl*, int, long, void*) = nullptr;
  void (*SSL_free)(Ssl*) = nullptr;
  int (*SSL_use_certificate)(Ssl*, X509Cert*) = nullptr;
  int (*SSL_use_PrivateKey)(Ssl*, EvpPkey*) = nullptr;
  unsigned long (*ERR_get_error)() = nullptr;
  const char* (*ERR_reason_error_string)(unsigned long) = nullptr;
  void (*RAND_seed)(const void*, int) = nullptr;
  int (*RAND_status)() = nullptr;
  int (*RAND_bytes)(unsigned char*, int) = nullptr;
  Bio* (*BIO_new)(const BioMethod*) = nullptr;
  Bio* (*BIO_new_mem_buf)(const void*, int) = nullptr;
  long (*BIO_ctrl)(Bio*, int, long, void*) = nullptr;
  const BioMethod* (*BIO_s_mem)() = nullptr;
  int (*BIO_free)(Bio*) = nullptr;
  X509Cert* (*PEM_read_bio_X509)(Bio*, X509Cert**, PemPasswordCallback, void*) = nullptr;
  EvpPkey* (*PEM_read_bio_PrivateKey)(Bio*, EvpPkey**, PemPasswordCallback, void*) = nullptr;
  int (*PEM_write_bio_X509)(Bio*, X509Cert*) = nullptr;
  X509Cert* (*d2i_X509_bio)(Bio*, X509Cert**) = nullptr;
  EvpPkey* (*d2i_PrivateKey_bio)(Bio*, EvpPkey**) = nullptr;
  X509Name* (*X509_get_subject_name)(const X509Cert*) = nullptr;
  int (*X509_NAME_get_index_by_NID)(X509Name*, int, int) = nullptr;
  X509NameEntry* (*X509_NAME_get_entry)(const X509Name*, int) = nullptr;
  Asn1String* (*X509_NAME_ENTRY_get_data)(const X509NameEntry*) = nullptr;
  int (*X509_digest)(const X509Cert*, const EvpMd*, unsigned char*, unsigned int*) = nullptr;
  void* (*X509_get_ext_d2i)(const X509Cert*, int, int*, int*) = nullptr;
  void (*X509_free)(X509Cert*) = nullptr;
  void (*EVP_PKEY_free)(EvpPkey*) = nullptr;
  const EvpMd* (*EVP_get_digestbyname)(const char*) = nullptr;
  void (*OPENSSL_load_builtin_modules)() = nullptr;
  void (*ENGINE_load_builtin_engines)() = nullptr;
  int (*CONF_modules_load_file)(const char*, const char*, unsigned long) = nullptr;

 protected:
  explicit OpenSSL(Generation generation) : generation_(generation) {}

  // Resolves one name from the crypto (or else the TLS) library into *slot.
  bool Resolve(const char* name, void* slot, String* error);
  // Resolves what the generation adds, then initialises the library.
  virtual bool ResolveGeneration(String* error) = 0;
  virtual bool Initialise(String* error) = 0;

 private:
  friend class OpenSSLLoader;
  bool ResolveCommon(String* error);
  bool LoadConfigAndSeed(const NetworkSettings& settings);

  Generation generation_;
  void* crypto_ = nullptr;  // dlopen handles, kept for the table's life
  void* ssl_ = nullptr;
  String crypto_name_;
  String ssl_name_;
};

// Host-name matching of certificates by the rules of the oldest generation,
// which has no matching of its own: equal ignoring case, or a pattern with a
// single "*" ending the first label and at least two dots after it.
bool CertificateNameMatches(const char* pattern, int32_t pattern_length, const char* host,
                            int32_t host_length);

}  // namespace pexo

#endif  // PEXO_NET_OPENSSL_H_
