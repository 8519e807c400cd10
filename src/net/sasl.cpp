#include "net/sasl.h"

#include <cstdlib>
#include <cstring>

#include "io/base64.h"
#include "io/md5.h"

namespace pexo {
namespace {

String Adopted(char* bytes, int32_t length, int32_t capacity) {
  String text;
  if (bytes) text.adopt(bytes, length, capacity);
  return text;
}

void Digest(const String& bytes, uint8_t out[Md5::kDigestSize]) {
  Md5::Digest(bytes.data(), static_cast<size_t>(bytes.length()), out);
}

String Hex(const uint8_t* digest) {
  char hex[Md5::kHexSize];
  HexEncodeLower(digest, Md5::kDigestSize, hex);
  return String(hex, Md5::kDigestSize * 2);
}

String HexDigest(const String& bytes) {
  uint8_t digest[Md5::kDigestSize];
  Digest(bytes, digest);
  return Hex(digest);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Appends value as a quoted string, escaping what would end it.
void AppendQuoted(String* out, const String& value) {
  out->append('"');
  for (int32_t i = 0; i < value.length(); ++i) {
    char c = value.data()[i];
    if (c == '"' || c == '\\') out->append('\\');
    out->append(c);
  }
  out->append('"');
}

void AppendField(String* out, const char* name, const String& value, bool quoted) {
  if (out->length() > 0) out->append(',');
  out->append(name);
  out->append('=');
  if (quoted)
    AppendQuoted(out, value);
  else
    out->append(value);
}

}  // namespace

String Base64Of(const String& bytes) {
  if (bytes.empty()) return String();
  int32_t length = 0, capacity = 0;
  char* encoded = Base64Encode(bytes.data(), bytes.length(), &length, &capacity);
  return Adopted(encoded, length, capacity);
}

String FromBase64(const String& text) {
  if (text.empty()) return String();
  int32_t length = 0, capacity = 0;
  char* decoded = Base64Decode(text.data(), text.length(), &length, &capacity);
  return Adopted(decoded, length, capacity);
}

String HmacMd5Hex(const String& key, const String& message) {
  const int kBlock = 64;
  uint8_t block_key[kBlock] = {0};
  if (key.length() > kBlock)
    Digest(key, block_key);
  else
    memcpy(block_key, key.data(), static_cast<size_t>(key.length()));
  uint8_t pad[kBlock];
  Md5 inner;
  for (int i = 0; i < kBlock; ++i) pad[i] = block_key[i] ^ 0x36;
  inner.Update(pad, kBlock);
  inner.Update(message.data(), static_cast<size_t>(message.length()));
  uint8_t inner_digest[Md5::kDigestSize];
  inner.Final(inner_digest);
  Md5 outer;
  for (int i = 0; i < kBlock; ++i) pad[i] = block_key[i] ^ 0x5c;
  outer.Update(pad, kBlock);
  outer.Update(inner_digest, Md5::kDigestSize);
  uint8_t digest[Md5::kDigestSize];
  outer.Final(digest);
  return Hex(digest);
}

String CramMd5Response(const String& user, const String& password, const String& challenge) {
  String response(user);
  response.append(' ');
  response.append(HmacMd5Hex(password, challenge));
  return response;
}

int ParseDigestChallenge(const String& text, DigestChallenge* challenge, String* error) {
  const char* p = text.data();
  const char* end = p + text.length();
  bool has_nonce = false, has_qop = false, has_algorithm = false;
  for (;;) {
    while (p < end && (IsBlank(*p) || *p == ',')) ++p;
    if (p == end) break;
    const char* name = p;
    while (p < end && *p != '=' && *p != ',' && !IsBlank(*p)) ++p;
    int32_t name_length = static_cast<int32_t>(p - name);
    while (p < end && IsBlank(*p)) ++p;
    if (p == end || *p != '=' || name_length == 0) {
      error->assign("Invalid DIGEST-MD5 challenge");
      return 0;
    }
    ++p;
    while (p < end && IsBlank(*p)) ++p;
    String value;
    if (p < end && *p == '"') {
      ++p;
      while (p < end && *p != '"') {
        if (*p == '\\' && p + 1 < end) ++p;
        value.append(*p++);
      }
      if (p == end) {
        error->assign("Invalid DIGEST-MD5 challenge");
        return 0;
      }
      ++p;
    } else {
      const char* start = p;
      while (p < end && *p != ',' && !IsBlank(*p)) ++p;
      value.assign(start, static_cast<int32_t>(p - start));
    }
    String key(name, name_length);
    if (key.equals_nocase("realm", 5) && !challenge->has_realm) {
      challenge->realm = value;
      challenge->has_realm = true;
    } else if (key.equals_nocase("nonce", 5) && !has_nonce) {
      challenge->nonce = value;
      has_nonce = true;
    } else if (key.equals_nocase("qop", 3) && !has_qop) {
      challenge->qop = value;
      has_qop = true;
    } else if (key.equals_nocase("charset", 7) && !challenge->has_charset) {
      challenge->charset = value;
      challenge->has_charset = true;
    } else if (key.equals_nocase("algorithm", 9) && !has_algorithm) {
      challenge->algorithm = value;
      has_algorithm = true;
    }
  }
  if (!has_nonce) {
    error->assign("Invalid DIGEST-MD5 challenge");
    return 0;
  }
  return 1;
}

DigestAnswer DigestMd5Answer(const DigestChallenge& challenge, const String& user,
                             const String& password, const String& cnonce,
                             const String& digest_uri) {
  static const char kNonceCount[] = "00000001";
  // A1 = H(user:realm:password):nonce:cnonce, the inner digest raw.
  String secret(user);
  secret.append(':');
  secret.append(challenge.realm);
  secret.append(':');
  secret.append(password);
  uint8_t inner[Md5::kDigestSize];
  Digest(secret, inner);
  String a1(reinterpret_cast<const char*>(inner), Md5::kDigestSize);
  a1.append(':');
  a1.append(challenge.nonce);
  a1.append(':');
  a1.append(cnonce);
  String ha1 = HexDigest(a1);

  // The response and rspauth differ only in A2's method part.
  auto kd = [&](const char* method) {
    String a2(method);
    a2.append(':');
    a2.append(digest_uri);
    String all(ha1);
    all.append(':');
    all.append(challenge.nonce);
    all.append(':');
    all.append(kNonceCount);
    all.append(':');
    all.append(cnonce);
    all.append(":auth:");
    all.append(HexDigest(a2));
    return HexDigest(all);
  };
  DigestAnswer answer;
  answer.response = kd("AUTHENTICATE");
  answer.rspauth = kd("");
  AppendField(&answer.message, "username", user, true);
  if (challenge.has_realm) AppendField(&answer.message, "realm", challenge.realm, true);
  AppendField(&answer.message, "nonce", challenge.nonce, true);
  AppendField(&answer.message, "cnonce", cnonce, true);
  AppendField(&answer.message, "nc", kNonceCount, false);
  AppendField(&answer.message, "qop", "auth", false);
  AppendField(&answer.message, "digest-uri", digest_uri, true);
  if (challenge.has_charset) AppendField(&answer.message, "charset", challenge.charset, false);
  AppendField(&answer.message, "response", answer.response, false);
  return answer;
}

}  // namespace pexo
