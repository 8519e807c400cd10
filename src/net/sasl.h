// The SASL computations of the mail clients: CRAM-MD5 (RFC 2195) and
// DIGEST-MD5 with qop "auth" (RFC 2831), plus base64 helpers on String.
// Pure functions: no connection, no randomness (the caller supplies the
// client nonce), so each result can be checked against the RFC examples.
#ifndef PEXO_NET_SASL_H_
#define PEXO_NET_SASL_H_

#include "values/string.h"

namespace pexo {

String Base64Of(const String& bytes);
String FromBase64(const String& text);

// 32 lowercase hex digits of HMAC-MD5(key, message).
String HmacMd5Hex(const String& key, const String& message);

// The CRAM-MD5 answer before base64: user, a blank, the keyed digest of
// the decoded challenge.
String CramMd5Response(const String& user, const String& password, const String& challenge);

// The fields of a DIGEST-MD5 challenge the client uses. A directive the
// challenge repeats keeps its first value.
struct DigestChallenge {
  String realm, nonce, qop, charset, algorithm;
  bool has_realm = false, has_charset = false;
};

// 1, or 0 with *error set when the text is not a directive list or has
// no nonce.
int ParseDigestChallenge(const String& text, DigestChallenge* challenge, String* error);

// qop, nc, charset and response go unquoted, as the RFC grammar has them.
struct DigestAnswer {
  String response;  // the "response" directive's value
  String rspauth;   // what the server's rspauth must equal
  String message;   // the whole answer, before base64
};

// The answer to a challenge with nonce count 00000001 and qop auth.
DigestAnswer DigestMd5Answer(const DigestChallenge& challenge, const String& user,
                             const String& password, const String& cnonce,
                             const String& digest_uri);

}  // namespace pexo

#endif  // PEXO_NET_SASL_H_
