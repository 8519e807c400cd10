/* A stand-in TLS library that exports only what tells its generation. */
void unrelated_function(void);
void unrelated_function(void) {}
