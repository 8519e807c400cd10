// Encodings and digests. HTML entities and JSON go through the engine's own
// encoders, so a script gets the same text as the engine's tags produce.
#ifndef PEXO_STD_ENCODING_FUNCTIONS_H_
#define PEXO_STD_ENCODING_FUNCTIONS_H_

#include "std_call.h"

namespace pexo {
namespace stdlib {

void UrlEncode(StdCall& call);     // (text): all but A-Z a-z 0-9 - _ . ~ as %XX
void UrlDecode(StdCall& call);     // (text): %XX and "+" as a blank
void HtmlEncode(StdCall& call);    // (text)
void HtmlDecode(StdCall& call);    // (text)
void Base64Encode(StdCall& call);  // (text)
void Base64Decode(StdCall& call);  // (text)
void JsonEncode(StdCall& call);    // (value)
void JsonDecode(StdCall& call);    // (text)
void Md5(StdCall& call);           // (text): lower-case hexadecimal
void Sha256(StdCall& call);        // (text): lower-case hexadecimal

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_ENCODING_FUNCTIONS_H_
