#include "io/capture_output.h"

#include "values/string.h"

namespace pexo {

CaptureOutput::CaptureOutput(Output* wrapped) : wrapped_(wrapped), text_(8192, 8192) {}

int32_t CaptureOutput::WriteAndFlush(const char* data, int32_t length) {
  if (!wrapped_) return 0;
  return wrapped_->WriteAndFlush(data, length);
}

int CaptureOutput::SetHeader(const char* name, int32_t name_length, bool name_owned,
                             const char* value, int32_t value_length, bool value_owned) {
  if (!wrapped_) return Output::SetHeader(name, name_length, name_owned, value, value_length, value_owned);
  return wrapped_->SetHeader(name, name_length, name_owned, value, value_length, value_owned);
}

int32_t CaptureOutput::Write(const char* data, int32_t length) {
  length = text_length(data, length);
  if (length <= 0) return 0;
  int32_t before = text_.length();
  text_.append(data, length);
  if (text_.length() - before != length) return 0;  // out of memory or 2 GB reached
  NoteLastByte(data[length - 1]);
  return length;
}

char* CaptureOutput::TakeText(int32_t* length, int32_t* capacity) {
  int32_t n = 0;
  int32_t size = 0;
  char* text = text_.release(&n, &size, 1);
  if (text) text[n] = 0;
  if (length) *length = text ? n : 0;
  if (capacity) *capacity = text ? size : 0;
  return text;
}

}  // namespace pexo
