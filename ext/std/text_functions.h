// Text functions. Positions and lengths count bytes, so they agree with
// length(); reverse() and the character codes work on UTF-8 characters,
// and upper()/lower() change only ASCII letters, leaving UTF-8 intact.
#ifndef PEXO_STD_TEXT_FUNCTIONS_H_
#define PEXO_STD_TEXT_FUNCTIONS_H_

#include "std_call.h"

namespace pexo {
namespace stdlib {

void Length(StdCall& call);    // (text)
void Left(StdCall& call);      // (text, count)
void Right(StdCall& call);     // (text, count)
void Mid(StdCall& call);       // (text, start, count)
void Upper(StdCall& call);     // (text)
void Lower(StdCall& call);     // (text)
void Trim(StdCall& call);      // (text)
void LTrim(StdCall& call);     // (text)
void RTrim(StdCall& call);     // (text)
void Replace(StdCall& call);   // (text, search, replacement)
void Split(StdCall& call);     // (text, separator)
void Join(StdCall& call);      // (array, separator)
void Pad(StdCall& call);       // (text, width, fill)
void Repeat(StdCall& call);    // (text, count)
void Reverse(StdCall& call);   // (text)
void Chr(StdCall& call);       // (code)
void Ord(StdCall& call);       // (text)

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_TEXT_FUNCTIONS_H_
