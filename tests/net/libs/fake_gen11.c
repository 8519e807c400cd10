/* A stand-in TLS library that exports only what tells its generation. */
void OpenSSL_version_num(void);
void OpenSSL_version_num(void) {}
