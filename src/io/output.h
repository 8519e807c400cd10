// Output: the sink for everything a request prints and every response header
// it sets. The application holds one current output; diverting tags (capture,
// mail bodies) install another and give the previous one back afterwards.
//
// Whitespace modes apply to script text entering through Emit:
//   0 text passes unchanged, 1 drop one leading whitespace byte after
//   whitespace, 2 collapse each whitespace run to its first byte.
// The ended-in-whitespace flag starts set, so in modes 1 and 2 whitespace at
// the very start of the output is dropped. Every Write that accepts at least
// one byte sets the flag from its last byte.
//
// Lengths follow the engine's convention: -1 means up to the first zero byte.
// Header strings passed with an owned flag are malloc'd; the output frees them
// (also when it ignores the header).
#ifndef PEXO_IO_OUTPUT_H_
#define PEXO_IO_OUTPUT_H_

#include <cstdint>

#include "values/encoded_text.h"

namespace pexo {

enum OutputKind {
  kBufferedOutputKind = 0,  // BufferedOutput, NetworkOutput, SMTPOutput
  kHTTPOutputKind = 1,      // HTTPOutput and its server binding
  kNullOutputKind = 2,
  kCaptureOutputKind = 3,
};

enum WhitespaceMode {
  kWhitespaceKeep = 0,
  kWhitespaceTrim = 1,
  kWhitespaceCompress = 2,
};

class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  virtual ~Output();

  // Write then Flush; returns what Write returned. Diverting outputs forward
  // this to the output they wrap, so such text reaches the real response.
  virtual int32_t WriteAndFlush(const char* data, int32_t length);
  // Stores a response header: 1 when stored, 0 when ignored. The base
  // version frees the owned strings and returns 0.
  virtual int SetHeader(const char* name, int32_t name_length, bool name_owned,
                        const char* value, int32_t value_length, bool value_owned);
  // Zero-terminated, borrowed name and value.
  virtual int SetHeader(const char* name, const char* value);
  // Raw text, no whitespace handling. Returns the bytes accepted.
  virtual int32_t Write(const char* data, int32_t length) = 0;
  // Script text: dispatches on the whitespace mode.
  virtual int32_t Emit(const char* data, int32_t length);
  // Sends headers and body; only HTTP outputs do anything (others return 0).
  virtual int32_t Send(int final);
  virtual int Flush() = 0;
  virtual int Kind() const = 0;
  virtual int GetWhitespaceMode() const;
  virtual void SetWhitespaceMode(int mode);
  // The field both of them read and set (no output overrides them), for a
  // host that checks the mode before setting it.
  const int* whitespace_mode_cell() const { return &whitespace_mode_; }
  virtual int32_t WriteTrimmed(const char* data, int32_t length);
  virtual int32_t WriteCompressed(const char* data, int32_t length);

  bool ended_in_whitespace() const { return ended_in_whitespace_ != 0; }

 protected:
  // For Write implementations: records whether the last byte written was
  // whitespace (C isspace in the "C" locale).
  void NoteLastByte(char last);

  int whitespace_mode_ = kWhitespaceKeep;
  int ended_in_whitespace_ = 1;
};

// Frees a header string when its owned flag is set.
void FreeOwnedText(const char* text, bool owned);

}  // namespace pexo

#endif  // PEXO_IO_OUTPUT_H_
