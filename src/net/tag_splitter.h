// TagSplitter: cuts a response body into objects, one per Next(): a run of
// text up to the next "<", or one tag with its attributes. Special
// constructs after "<!" (comments, CDATA sections, DOCTYPE and the like)
// are tags without attributes. Memory grows only with the object being
// read, which the body's own length bounds.
#ifndef PEXO_NET_TAG_SPLITTER_H_
#define PEXO_NET_TAG_SPLITTER_H_

#include <cstdint>
#include <vector>

#include "net/call_buffer.h"
#include "values/string.h"

namespace pexo {

struct CallObject {
  bool is_tag = false;
  String value;    // the text, or the tag from "<" to ">"
  String element;  // the tag's name as written after "<"; empty for text
  std::vector<String> names;   // attribute names, in order
  std::vector<String> values;  // their values (a bare name is its own value)
};

class TagSplitter {
 public:
  explicit TagSplitter(CallBuffer* buffer) : in_(buffer) {}

  // 1 and *object filled, 0 at the end of the body, -1 on error (ErrorText).
  // Text read before a failed read comes out first; the call after it fails.
  int Next(CallObject* object);
  const String& ErrorText() const { return error_; }

 private:
  // Reads one byte into *c, appending it to the tag text; false at the end
  // of data (error text set to eof_message) or on a read error.
  bool Take(int* c, const char* eof_message);
  int ReadTag(CallObject* object);
  int ReadSpecial(CallObject* object, int last);
  int ReadAttributes(CallObject* object, int last);

  CallBuffer* in_;
  String* text_ = nullptr;  // the tag text being read
  String error_;
  bool failed_ = false;  // a read failed; the next call reports it
};

}  // namespace pexo

#endif  // PEXO_NET_TAG_SPLITTER_H_
