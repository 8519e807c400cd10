// SmtpBodyEncoder: turns the text a script writes as a mail body into the
// DATA section's wire form, in pieces of any size. Every line break (CR LF,
// LF CR, lone CR, lone LF) becomes CR LF; one line break at the very start
// is dropped (the header block ends with the body's first break); every
// line beginning with "." gets a second one, so no body line can end the
// DATA section early. Finish adds the terminating ".".
#ifndef PEXO_NET_SMTP_BODY_H_
#define PEXO_NET_SMTP_BODY_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class SmtpBodyEncoder {
 public:
  // Appends the wire form of bytes to *out.
  void Encode(const char* bytes, int32_t length, String* out);
  // Appends a pending line break and the end-of-data line.
  void Finish(String* out);

 private:
  void Break(String* out);

  char pending_ = 0;          // a CR or LF that may be half of a pair
  bool at_start_ = true;      // nothing sent and no break dropped yet
  bool at_line_start_ = true;
};

}  // namespace pexo

#endif  // PEXO_NET_SMTP_BODY_H_
