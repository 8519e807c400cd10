/* A stand-in TLS library that exports only what tells its generation. */
void OPENSSL_version_major(void);
void OPENSSL_version_major(void) {}
