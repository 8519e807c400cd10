// The settings table: one row per configuration key, the only place a key is
// written down. The key enum, the names of the pexo_config members, the
// built-in defaults, the configuration file's mapping and docs/settings.md
// (scripts/settings_doc.sh; a test compares) are all made from it.
//
//   PEXO_SETTING(ID, KEY, NAME, TYPE, UNIT, DEFAULT, XML, SCRIPT)
//
// ID       the enum name without its CFG_ prefix
// KEY      the key number; bit 0x1000000 integer, 0x2000000 text
// NAME     the member name in pexo_config (letter case ignored on lookup)
// TYPE     TEXT, INTEGER, BOOLEAN (an integer 0/1; the file writes true or
//          false) or BITS (an integer the file ORs from integer attributes)
// UNIT     of an integer, for the documentation ("" for none)
// DEFAULT  NONE; INT(v) or TEXT("...") built in; POSIX("...") on this
//          platform only (PosixConfig); SERVER_NAME the request's server name
// XML      NO_XML; XML_SECTION("attribute") on the PexoScript section;
//          XML("element", "attribute") on a child element of it; BITS rows
//          name several attributes separated by spaces
// SCRIPT   SHOWN as a member of pexo_config, or HIDDEN
//
// The order of the rows is the order of the pexo_config members and of the
// documentation. A row's type must agree with its key's bit and keys and
// names must be unique (checked when config.cpp compiles).
#ifndef PEXO_VALUES_CONFIG_LIST_H_
#define PEXO_VALUES_CONFIG_LIST_H_

// clang-format off
#define PEXO_CONFIG_LIST(S) \
  S(DIR_PEXO, 0x2000001, "dir_pexo", TEXT, "", NONE, XML("paths", "root"), SHOWN) \
  S(DIR_COMMERCE, 0x2000002, "dir_commerce", TEXT, "", NONE, NO_XML, SHOWN) \
  S(DIR_TEMP, 0x2000003, "dir_temp", TEXT, "", NONE, XML("paths", "temp"), SHOWN) \
  S(DIR_DATA, 0x2000004, "dir_data", TEXT, "", NONE, XML("paths", "data"), SHOWN) \
  S(DIR_USER, 0x2000019, "dir_user", TEXT, "", TEXT("public_vrk"), NO_XML, SHOWN) \
  S(DIR_BUILTIN, 0x200001e, "dir_builtin", TEXT, "", NONE, NO_XML, SHOWN) \
  S(DIR_CA, 0x2000016, "dir_ca", TEXT, "", NONE, XML("paths", "ca"), SHOWN) \
  S(FILE_CA, 0x2000033, "file_ca", TEXT, "", NONE, XML("paths", "cafile"), SHOWN) \
  S(LOG_LEVEL, 0x1000005, "log_level", INTEGER, "bit mask", INT(0), XML("debugLog", "level"), SHOWN) \
  S(LOG_FILE, 0x2000006, "log_file", TEXT, "", NONE, XML("debugLog", "file"), SHOWN) \
  S(LOG_FILTER, 0x2000025, "log_filter", TEXT, "", NONE, XML("debugLog", "filter"), SHOWN) \
  S(LOG_COOKIE, 0x2000028, "log_cookie", TEXT, "", NONE, XML("debugLog", "cookie"), SHOWN) \
  S(TIMEOUT_GLOBAL, 0x1000007, "timeout_global", INTEGER, "s", INT(90), XML("timeouts", "global"), SHOWN) \
  S(TIMEOUT_MAIL, 0x1000008, "timeout_mail", INTEGER, "s", INT(30), XML("timeouts", "mail"), SHOWN) \
  S(TIMEOUT_CALL, 0x1000009, "timeout_call", INTEGER, "s", INT(30), XML("timeouts", "call"), SHOWN) \
  S(TIMEOUT_FILE, 0x100000a, "timeout_file", INTEGER, "s", INT(30), XML("timeouts", "file"), SHOWN) \
  S(TIMEOUT_POST, 0x1000026, "timeout_post", INTEGER, "s", INT(30), XML("timeouts", "post"), SHOWN) \
  S(TIMEOUT_ASYNC, 0x1000031, "timeout_async", INTEGER, "s", INT(3600), XML("timeouts", "asynchronous"), SHOWN) \
  S(TIMEOUT_ASYNC_SLEEP, 0x1000032, "timeout_async_sleep", INTEGER, "s", INT(86400), XML("timeouts", "asynchronousSleep"), SHOWN) \
  S(DELAY_FILE, 0x100000b, "delay_file", INTEGER, "ms", INT(100), XML("timeouts", "fileDelay"), SHOWN) \
  S(COOKIES, 0x100000c, "cookies", BOOLEAN, "", INT(0), XML_SECTION("vrkcallerid"), SHOWN) \
  S(BUFSZ_IMPORT, 0x100000d, "bufsz_import", INTEGER, "bytes", INT(8192), NO_XML, SHOWN) \
  S(BUFSZ_TEMPLATE, 0x100000e, "bufsz_template", INTEGER, "bytes", INT(8192), NO_XML, SHOWN) \
  S(BUFSZ_CALL, 0x100000f, "bufsz_call", INTEGER, "bytes", INT(8192), NO_XML, SHOWN) \
  S(BUFSZ_SMTP, 0x1000010, "bufsz_smtp", INTEGER, "bytes", INT(8192), NO_XML, SHOWN) \
  S(BUFSZ_CONTENT, 0x1000011, "bufsz_content", INTEGER, "bytes", INT(8192), NO_XML, SHOWN) \
  S(BUFSZ_OUTPUT, 0x1000012, "bufsz_output", INTEGER, "bytes", INT(8192), NO_XML, SHOWN) \
  S(BUFSZ_OUTPUT_FLUSH, 0x100001d, "bufsz_output_flush", INTEGER, "bytes", INT(1048576), NO_XML, SHOWN) \
  S(MAX_FILES, 0x1000013, "max_files", INTEGER, "", INT(0), XML("limits", "maxFiles"), SHOWN) \
  S(MAX_DOCACHE, 0x1000021, "max_docache", INTEGER, "", INT(0), XML("limits", "maxDoCache"), SHOWN) \
  S(MAX_POST_VARS, 0x1000027, "max_post_vars", INTEGER, "", INT(2000), XML("limits", "maxPostVars"), SHOWN) \
  S(MAX_UNKNOWN_CONTENT_LENGTH, 0x1000028, "max_unknown_content_length", INTEGER, "bytes", INT(1048576), XML("limits", "maxUnknownContentLength"), SHOWN) \
  S(MAX_ASYNC_TASKS, 0x1000030, "max_async_tasks", INTEGER, "", INT(0), XML("limits", "maxAsynchronousTasks"), SHOWN) \
  S(MAX_REQUEST_MEMORY, 0x1000042, "max_request_memory", INTEGER, "MiB", INT(256), XML("limits", "maxRequestMemory"), SHOWN) \
  S(PROGRAM_CACHE_BYTES, 0x1000043, "program_cache_bytes", INTEGER, "bytes", INT(67108864), XML("limits", "programCacheBytes"), HIDDEN) \
  S(LOCK_EXPIRATION, 0x1000014, "lock_expiration", INTEGER, "s", INT(90), XML("timeouts", "lockExpiration"), SHOWN) \
  S(LOCK_HOSTNAME, 0x2000015, "lock_hostname", TEXT, "", SERVER_NAME, NO_XML, SHOWN) \
  S(DEFAULT_FILE, 0x2000017, "default_file", TEXT, "", TEXT("index.pxc"), NO_XML, SHOWN) \
  S(FLAGS_SECURITY, 0x1000018, "flags_security", BITS, "bit mask", INT(0), XML("securityOptions", "script data temp ssl"), SHOWN) \
  S(INFO_SERVERADMIN, 0x200001a, "info_serveradmin", TEXT, "", TEXT("webmaster@example.com"), XML_SECTION("serverAdmin"), SHOWN) \
  S(SSL_CONFIG, 0x200001d, "ssl_config", TEXT, "", NONE, XML_SECTION("sslConfig"), SHOWN) \
  S(SSL_OPENSSL, 0x200001b, "ssl_openssl", TEXT, "", POSIX("libssl.so"), XML_SECTION("openssl"), SHOWN) \
  S(SSL_CRYPTO, 0x200001c, "ssl_crypto", TEXT, "", POSIX("libcrypto.so"), XML_SECTION("opensslCrypto"), SHOWN) \
  S(SSL_SNI, 0x1000029, "ssl_sni", INTEGER, "", INT(-1), XML_SECTION("sslSNI"), SHOWN) \
  S(ERROR_SYSLOG, 0x2000034, "error_syslog", TEXT, "", NONE, XML("syslog", "syslog"), SHOWN) \
  S(ERROR_SYSLOG_IDENT, 0x2000035, "error_syslog_ident", TEXT, "", NONE, XML("syslog", "ident"), SHOWN) \
  S(ERROR_SYSLOG_FACILITY, 0x2000036, "error_syslog_facility", TEXT, "", NONE, XML("syslog", "facility"), SHOWN) \
  S(ERROR_SYSLOG_PRIORITY, 0x2000037, "error_syslog_priority", TEXT, "", NONE, XML("syslog", "priority"), SHOWN) \
  S(SLOWREQUEST_SYSLOG, 0x100003d, "slowrequest_syslog", INTEGER, "s", NONE, XML("slowrequestsyslog", "syslog"), SHOWN) \
  S(SLOWREQUEST_SYSLOG_IDENT, 0x200003e, "slowrequest_syslog_ident", TEXT, "", NONE, XML("slowrequestsyslog", "ident"), SHOWN) \
  S(SLOWREQUEST_SYSLOG_FACILITY, 0x200003f, "slowrequest_syslog_facility", TEXT, "", NONE, XML("slowrequestsyslog", "facility"), SHOWN) \
  S(SLOWREQUEST_SYSLOG_PRIORITY, 0x2000040, "slowrequest_syslog_priority", TEXT, "", NONE, XML("slowrequestsyslog", "priority"), SHOWN) \
  S(SOCKS_VERSION, 0x1000038, "socks_version", INTEGER, "", INT(4), XML("socks", "version"), SHOWN) \
  S(SOCKS_HOST, 0x2000039, "socks_host", TEXT, "", NONE, XML("socks", "host"), SHOWN) \
  S(SOCKS_PORT, 0x100003a, "socks_port", INTEGER, "", INT(1080), XML("socks", "port"), SHOWN) \
  S(SOCKS_USERNAME, 0x200003b, "socks_username", TEXT, "", NONE, XML("socks", "username"), SHOWN) \
  S(SOCKS_PASSWORD, 0x200003c, "socks_password", TEXT, "", NONE, XML("socks", "password"), HIDDEN) \
  S(ENABLE_DEPRECATED, 0x2000041, "enable_deprecated", TEXT, "", NONE, XML_SECTION("enableDeprecated"), SHOWN)
// clang-format on

#endif  // PEXO_VALUES_CONFIG_LIST_H_
