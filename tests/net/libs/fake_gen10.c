/* A stand-in TLS library that exports only what tells its generation. */
void SSLeay(void);
void SSLeay(void) {}
