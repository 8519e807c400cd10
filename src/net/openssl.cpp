#include "net/openssl.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <vector>

namespace pexo {
namespace {

const int kNidCommonName = 13;
const int kNidSubjectAltName = 85;
const int kGeneralNameDns = 2;
const unsigned long kInitLoadSslStrings = 0x00200000L;
const unsigned long kInitLoadCryptoStrings = 0x00000002L;

// GENERAL_NAME's layout in the oldest generation: a type then a union whose
// members are all pointers.
struct GeneralName {
  int type;
  void* value;
};

// Library file names: the configured one, or, when that is the default and
// cannot be loaded, the versioned files the system ships.
void* OpenLibrary(const String& configured, const char* default_name,
                  const char* const* fallbacks, String* used, String* error) {
  const char* name = configured.empty() ? default_name : configured.c_str();
  void* handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (handle) {
    used->assign(name);
    return handle;
  }
  const char* reason = dlerror();
  error->assign(reason ? reason : "Unknown error");
  if (strcmp(name, default_name) != 0) return nullptr;
  for (const char* const* f = fallbacks; *f; ++f) {
    handle = dlopen(*f, RTLD_NOW | RTLD_LOCAL);
    if (handle) {
      used->assign(*f);
      return handle;
    }
  }
  return nullptr;
}

// Common parts of the two newer generations, which match names themselves.
class OpenSSLModern : public OpenSSL {
 public:
  using OpenSSL::OpenSSL;
  const SslMethod* ClientMethod() const override { return TLS_client_method(); }
  bool MatchesHost(X509Cert* cert, const String& host) const override {
    return X509_check_host(cert, host.data(), host.length(), 0, nullptr) == 1;
  }
  bool MatchesIPAddress(X509Cert* cert, const String& address) const override {
    return X509_check_ip_asc(cert, address.c_str(), 0) == 1;
  }

 protected:
  bool ResolveModern(const char* peer_certificate, String* error) {
    return Resolve("OpenSSL_version_num", &OpenSSL_version_num, error) &&
           Resolve("OPENSSL_init_ssl", &OPENSSL_init_ssl, error) &&
           Resolve(peer_certificate, &get_peer_certificate, error) &&
           Resolve("TLS_client_method", &TLS_client_method, error) &&
           Resolve("X509_check_host", &X509_check_host, error) &&
           Resolve("X509_check_ip_asc", &X509_check_ip_asc, error);
  }
  bool Initialise(String* error) override {
    if (OPENSSL_init_ssl(kInitLoadSslStrings | kInitLoadCryptoStrings, nullptr) != 1) {
      error->assign("Error initialising OpenSSL");
      return false;
    }
    return true;
  }
  X509Cert* PeerCertificate(Ssl* ssl) const override { return get_peer_certificate(ssl); }

  unsigned long (*OpenSSL_version_num)() = nullptr;
  int (*OPENSSL_init_ssl)(uint64_t, const void*) = nullptr;
  X509Cert* (*get_peer_certificate)(const Ssl*) = nullptr;
  const SslMethod* (*TLS_client_method)() = nullptr;
  int (*X509_check_host)(X509Cert*, const char*, size_t, unsigned int, char**) = nullptr;
  int (*X509_check_ip_asc)(X509Cert*, const char*, unsigned int) = nullptr;
};

}  // namespace

class OpenSSL_1_1_x : public OpenSSLModern {
 public:
  OpenSSL_1_1_x() : OpenSSLModern(k1_1_x) {}

 protected:
  bool ResolveGeneration(String* error) override {
    return ResolveModern("SSL_get_peer_certificate", error);
  }
};

class OpenSSL_3_x_x : public OpenSSLModern {
 public:
  OpenSSL_3_x_x() : OpenSSLModern(k3_x_x) {}

 protected:
  bool ResolveGeneration(String* error) override {
    return ResolveModern("SSL_get1_peer_certificate", error);
  }
};

// The oldest generation needs explicit initialisation, locking callbacks
// and its own name matching.
class OpenSSL_1_0_x : public OpenSSL {
 public:
  OpenSSL_1_0_x() : OpenSSL(k1_0_x) {}

  const SslMethod* ClientMethod() const override { return SSLv23_client_method(); }
  X509Cert* PeerCertificate(Ssl* ssl) const override { return SSL_get_peer_certificate(ssl); }

  bool MatchesHost(X509Cert* cert, const String& host) const override {
    return MatchesName(cert, host);
  }
  bool MatchesIPAddress(X509Cert* cert, const String& address) const override {
    return MatchesName(cert, address);
  }

 protected:
  bool ResolveGeneration(String* error) override {
    return Resolve("SSLeay", &SSLeay, error) &&
           Resolve("SSL_library_init", &SSL_library_init, error) &&
           Resolve("SSL_load_error_strings", &SSL_load_error_strings, error) &&
           Resolve("SSL_COMP_get_compression_methods", &SSL_COMP_get_compression_methods, error) &&
           Resolve("SSLv23_client_method", &SSLv23_client_method, error) &&
           Resolve("SSL_get_peer_certificate", &SSL_get_peer_certificate, error) &&
           Resolve("OpenSSL_add_all_ciphers", &OpenSSL_add_all_ciphers, error) &&
           Resolve("OpenSSL_add_all_digests", &OpenSSL_add_all_digests, error) &&
           Resolve("EVP_cleanup", &EVP_cleanup, error) &&
           Resolve("CRYPTO_num_locks", &CRYPTO_num_locks, error) &&
           Resolve("CRYPTO_set_locking_callback", &CRYPTO_set_locking_callback, error) &&
           Resolve("sk_num", &sk_num, error) && Resolve("sk_value", &sk_value, error) &&
           Resolve("sk_free", &sk_free, error) && Resolve("sk_pop_free", &sk_pop_free, error) &&
           Resolve("GENERAL_NAME_free", &GENERAL_NAME_free, error) &&
           Resolve("ASN1_STRING_data", &ASN1_STRING_data, error) &&
           Resolve("ASN1_STRING_length", &ASN1_STRING_length, error) &&
           Resolve("CRYPTO_cleanup_all_ex_data", &CRYPTO_cleanup_all_ex_data, error) &&
           Resolve("ERR_free_strings", &ERR_free_strings, error) &&
           Resolve("ERR_remove_thread_state", &ERR_remove_thread_state, error);
  }

  bool Initialise(String*) override {
    SSL_library_init();
    SSL_load_error_strings();
    OpenSSL_add_all_ciphers();
    OpenSSL_add_all_digests();
    // The library's own locks: one process mutex per lock it asks for, kept
    // for the life of the process as the library is.
    static std::vector<std::mutex>* locks = nullptr;
    if (!locks) {
      int count = CRYPTO_num_locks();
      locks = new std::vector<std::mutex>(count > 0 ? count : 1);
    }
    lock_array_ = locks;
    CRYPTO_set_locking_callback(&LockingCallback);
    return true;
  }

 private:
  static std::vector<std::mutex>* lock_array_;
  static void LockingCallback(int mode, int n, const char*, int) {
    if (!lock_array_ || n < 0 || static_cast<size_t>(n) >= lock_array_->size()) return;
    if (mode & 1)
      (*lock_array_)[n].lock();
    else
      (*lock_array_)[n].unlock();
  }

  bool MatchesText(Asn1String* text, const String& host) const {
    const unsigned char* bytes = ASN1_STRING_data(text);
    int length = ASN1_STRING_length(text);
    return bytes && length > 0 &&
           CertificateNameMatches(reinterpret_cast<const char*>(bytes), length, host.data(),
                                  host.length());
  }

  // The DNS entries of the alternative names; only without any, the first
  // common name.
  bool MatchesName(X509Cert* cert, const String& host) const {
    OpaqueStack* names =
        static_cast<OpaqueStack*>(X509_get_ext_d2i(cert, kNidSubjectAltName, nullptr, nullptr));
    bool had_dns = false;
    bool matched = false;
    if (names) {
      int count = sk_num(names);
      for (int i = 0; i < count && !matched; ++i) {
        GeneralName* name = static_cast<GeneralName*>(sk_value(names, i));
        if (!name || name->type != kGeneralNameDns) continue;
        had_dns = true;
        matched = MatchesText(static_cast<Asn1String*>(name->value), host);
      }
      sk_pop_free(names, reinterpret_cast<void (*)(void*)>(GENERAL_NAME_free));
    }
    if (matched || had_dns) return matched;
    X509Name* subject = X509_get_subject_name(cert);
    int index = subject ? X509_NAME_get_index_by_NID(subject, kNidCommonName, -1) : -1;
    if (index < 0) return false;
    X509NameEntry* entry = X509_NAME_get_entry(subject, index);
    Asn1String* text = entry ? X509_NAME_ENTRY_get_data(entry) : nullptr;
    return text && MatchesText(text, host);
  }

  unsigned long (*SSLeay)() = nullptr;
  int (*SSL_library_init)() = nullptr;
  void (*SSL_load_error_strings)() = nullptr;
  void* (*SSL_COMP_get_compression_methods)() = nullptr;
  const SslMethod* (*SSLv23_client_method)() = nullptr;
  X509Cert* (*SSL_get_peer_certificate)(const Ssl*) = nullptr;
  void (*OpenSSL_add_all_ciphers)() = nullptr;
  void (*OpenSSL_add_all_digests)() = nullptr;
  void (*EVP_cleanup)() = nullptr;
  int (*CRYPTO_num_locks)() = nullptr;
  void (*CRYPTO_set_locking_callback)(void (*)(int, int, const char*, int)) = nullptr;
  int (*sk_num)(const OpaqueStack*) = nullptr;
  void* (*sk_value)(const OpaqueStack*, int) = nullptr;
  void (*sk_free)(OpaqueStack*) = nullptr;
  void (*sk_pop_free)(OpaqueStack*, void (*)(void*)) = nullptr;
  void (*GENERAL_NAME_free)(GeneralName*) = nullptr;
  unsigned char* (*ASN1_STRING_data)(Asn1String*) = nullptr;
  int (*ASN1_STRING_length)(const Asn1String*) = nullptr;
  void (*CRYPTO_cleanup_all_ex_data)() = nullptr;
  void (*ERR_free_strings)() = nullptr;
  void (*ERR_remove_thread_state)(const void*) = nullptr;
};

std::vector<std::mutex>* OpenSSL_1_0_x::lock_array_ = nullptr;

OpenSSL::~OpenSSL() {
  if (ssl_) dlclose(ssl_);
  if (crypto_) dlclose(crypto_);
}

bool OpenSSL::Resolve(const char* name, void* slot, String* error) {
  void* address = dlsym(crypto_, name);
  if (address) {
    memcpy(slot, &address, sizeof address);
    return true;
  }
  address = dlsym(ssl_, name);
  if (address) {
    memcpy(slot, &address, sizeof address);
    return true;
  }
  // Name the library the function belongs to: TLS functions live in the TLS
  // library, everything else in the crypto library.
  bool tls = strncmp(name, "SSL", 3) == 0 || strcmp(name, "TLS_client_method") == 0 ||
             strcmp(name, "OPENSSL_init_ssl") == 0;
  error->assign("Error loading function '");
  error->append(name);
  error->append("' from '");
  error->append(tls ? ssl_name_ : crypto_name_);
  error->append("'");
  return false;
}

bool OpenSSL::ResolveCommon(String* error) {
  return Resolve("SSL_CTX_new", &SSL_CTX_new, error) &&
         Resolve("SSL_CTX_free", &SSL_CTX_free, error) &&
         Resolve("SSL_CTX_set_verify", &SSL_CTX_set_verify, error) &&
         Resolve("SSL_CTX_load_verify_locations", &SSL_CTX_load_verify_locations, error) &&
         Resolve("SSL_new", &SSL_new, error) && Resolve("SSL_set_fd", &SSL_set_fd, error) &&
         Resolve("SSL_set_verify", &SSL_set_verify, error) &&
         Resolve("SSL_connect", &SSL_connect, error) && Resolve("SSL_read", &SSL_read, error) &&
         Resolve("SSL_write", &SSL_write, error) &&
         Resolve("SSL_get_error", &SSL_get_error, error) &&
         Resolve("SSL_ctrl", &SSL_ctrl, error) && Resolve("SSL_free", &SSL_free, error) &&
         Resolve("SSL_use_certificate", &SSL_use_certificate, error) &&
         Resolve("SSL_use_PrivateKey", &SSL_use_PrivateKey, error) &&
         Resolve("ERR_get_error", &ERR_get_error, error) &&
         Resolve("ERR_reason_error_string", &ERR_reason_error_string, error) &&
         Resolve("RAND_seed", &RAND_seed, error) && Resolve("RAND_status", &RAND_status, error) &&
         Resolve("RAND_bytes", &RAND_bytes, error) && Resolve("BIO_new", &BIO_new, error) &&
         Resolve("BIO_new_mem_buf", &BIO_new_mem_buf, error) &&
         Resolve("BIO_ctrl", &BIO_ctrl, error) && Resolve("BIO_s_mem", &BIO_s_mem, error) &&
         Resolve("BIO_free", &BIO_free, error) &&
         Resolve("PEM_read_bio_X509", &PEM_read_bio_X509, error) &&
         Resolve("PEM_read_bio_PrivateKey", &PEM_read_bio_PrivateKey, error) &&
         Resolve("PEM_write_bio_X509", &PEM_write_bio_X509, error) &&
         Resolve("d2i_X509_bio", &d2i_X509_bio, error) &&
         Resolve("d2i_PrivateKey_bio", &d2i_PrivateKey_bio, error) &&
         Resolve("X509_get_subject_name", &X509_get_subject_name, error) &&
         Resolve("X509_NAME_get_index_by_NID", &X509_NAME_get_index_by_NID, error) &&
         Resolve("X509_NAME_get_entry", &X509_NAME_get_entry, error) &&
         Resolve("X509_NAME_ENTRY_get_data", &X509_NAME_ENTRY_get_data, error) &&
         Resolve("X509_digest", &X509_digest, error) &&
         Resolve("X509_get_ext_d2i", &X509_get_ext_d2i, error) &&
         Resolve("X509_free", &X509_free, error) &&
         Resolve("EVP_PKEY_free", &EVP_PKEY_free, error) &&
         Resolve("EVP_get_digestbyname", &EVP_get_digestbyname, error) &&
         Resolve("OPENSSL_load_builtin_modules", &OPENSSL_load_builtin_modules, error) &&
         Resolve("ENGINE_load_builtin_engines", &ENGINE_load_builtin_engines, error) &&
         Resolve("CONF_modules_load_file", &CONF_modules_load_file, error);
}

bool OpenSSL::LoadConfigAndSeed(const NetworkSettings& settings) {
  if (!settings.ssl_config.empty()) {
    OPENSSL_load_builtin_modules();
    ENGINE_load_builtin_engines();
    CONF_modules_load_file(settings.ssl_config.c_str(), nullptr, 0);
  }
  while (RAND_status() == 0) {
    unsigned int r = static_cast<unsigned int>(rand());
    unsigned char seed[4] = {static_cast<unsigned char>(r >> 24),
                             static_cast<unsigned char>(r >> 16),
                             static_cast<unsigned char>(r >> 8), static_cast<unsigned char>(r)};
    RAND_seed(seed, sizeof seed);
  }
  return true;
}

String OpenSSL::ErrorText() const {
  unsigned long code = ERR_get_error();
  const char* text = code ? ERR_reason_error_string(code) : nullptr;
  if (text) return String(text);
  if (code) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "error %lu", code);
    return String(buffer);
  }
  return String("");
}

void OpenSSL::ClearErrors() const {
  for (int i = 0; i < 256 && ERR_get_error() != 0; ++i) {
  }
}

class OpenSSLLoader {
 public:
  static std::unique_ptr<OpenSSL> Load(const NetworkSettings& settings, String* error) {
    static const char* const kCryptoFallbacks[] = {"libcrypto.so.3", "libcrypto.so.1.1",
                                                   "libcrypto.so.1.0.0", nullptr};
    static const char* const kSslFallbacks[] = {"libssl.so.3", "libssl.so.1.1", "libssl.so.1.0.0",
                                                nullptr};
    String crypto_name, ssl_name;
    void* crypto = OpenLibrary(settings.ssl_crypto, "libcrypto.so", kCryptoFallbacks,
                               &crypto_name, error);
    if (!crypto) return nullptr;
    void* ssl = OpenLibrary(settings.ssl_openssl, "libssl.so", kSslFallbacks, &ssl_name, error);
    if (!ssl) {
      dlclose(crypto);
      return nullptr;
    }
    std::unique_ptr<OpenSSL> table;
    if (dlsym(crypto, "OPENSSL_version_major"))
      table.reset(new OpenSSL_3_x_x);
    else if (dlsym(crypto, "OpenSSL_version_num"))
      table.reset(new OpenSSL_1_1_x);
    else if (dlsym(crypto, "SSLeay"))
      table.reset(new OpenSSL_1_0_x);
    if (!table) {
      dlclose(ssl);
      dlclose(crypto);
      error->assign("Failed to determine OpenSSL version");
      return nullptr;
    }
    table->crypto_ = crypto;
    table->ssl_ = ssl;
    table->crypto_name_ = crypto_name;
    table->ssl_name_ = ssl_name;
    // The generation's own names first: a library of another generation
    // that passed the version test fails on them.
    if (!table->ResolveGeneration(error) || !table->ResolveCommon(error) ||
        !table->Initialise(error) || !table->LoadConfigAndSeed(settings))
      return nullptr;
    return table;
  }
};

std::unique_ptr<OpenSSL> OpenSSL::Load(const NetworkSettings& settings, String* error) {
  return OpenSSLLoader::Load(settings, error);
}

const OpenSSL* OpenSSL::Instance(const NetworkSettings& settings, String* error) {
  // The process-wide table: the library is loaded once and never unloaded,
  // as its own global state requires.
  static std::mutex lock;
  static OpenSSL* table = nullptr;
  static bool failed = false;
  std::lock_guard<std::mutex> guard(lock);
  if (table) return table;
  if (failed) {
    error->assign("Unable to load OpenSSL DLLs");
    return nullptr;
  }
  table = Load(settings, error).release();
  if (!table) failed = true;
  return table;
}

bool CertificateNameMatches(const char* pattern, int32_t pattern_length, const char* host,
                            int32_t host_length) {
  if (equals_nocase(pattern, pattern_length, host, host_length)) return true;
  const char* star = static_cast<const char*>(memchr(pattern, '*', pattern_length));
  if (!star) return false;
  int32_t star_at = static_cast<int32_t>(star - pattern);
  if (memchr(star + 1, '*', pattern_length - star_at - 1)) return false;
  // The "*" ends the first label and at least two dots follow it.
  if (memchr(pattern, '.', star_at)) return false;
  if (star_at + 1 >= pattern_length || pattern[star_at + 1] != '.') return false;
  int dots = 0;
  for (int32_t i = star_at + 1; i < pattern_length; ++i) dots += pattern[i] == '.';
  if (dots < 2) return false;
  const char* host_dot = static_cast<const char*>(memchr(host, '.', host_length));
  if (!host_dot) return false;
  int32_t label_length = static_cast<int32_t>(host_dot - host);
  if (label_length >= 4 && equals_nocase(host, 4, "xn--", 4) && star_at != 0) return false;
  if (label_length < star_at || !equals_nocase(host, star_at, pattern, star_at)) return false;
  const char* rest = host_dot + 1;
  int32_t rest_length = host_length - label_length - 1;
  const char* pattern_rest = pattern + star_at + 2;
  int32_t pattern_rest_length = pattern_length - star_at - 2;
  return equals_nocase(rest, rest_length, pattern_rest, pattern_rest_length);
}

}  // namespace pexo
