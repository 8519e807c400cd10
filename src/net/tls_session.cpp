#include "net/tls_session.h"

namespace pexo {

TlsSession::~TlsSession() {
  if (ssl_) library_->SSL_free(ssl_);
  if (peer_) library_->X509_free(peer_);
  if (client_certificate_) library_->X509_free(client_certificate_);
  if (client_key_) library_->EVP_PKEY_free(client_key_);
}

bool TlsSession::PeerCertificatePem(String* pem) const {
  pem->clear();
  if (!peer_) return false;
  Bio* bio = library_->BIO_new(library_->BIO_s_mem());
  if (!bio) return false;
  bool ok = library_->PEM_write_bio_X509(bio, peer_) == 1;
  if (ok) {
    const int kBioCtrlInfo = 3;  // length and address of a memory buffer
    char* bytes = nullptr;
    long length = library_->BIO_ctrl(bio, kBioCtrlInfo, 0, &bytes);
    ok = length >= 0 && length < 0x7fffffff;
    if (ok) pem->assign(bytes ? bytes : "", static_cast<int32_t>(length));
  }
  library_->BIO_free(bio);
  return ok;
}

}  // namespace pexo
