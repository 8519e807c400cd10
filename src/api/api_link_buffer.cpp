// The link buffer family of the extension API.
#include <cstdlib>
#include <cstring>
#include <new>

#include "api/api_context.h"
#include "values/link_buffer.h"
#include "values/variable.h"

using namespace pexo;

extern "C" {

PexoLinkBuffer* pxLinkBuffer_Allocate(int32_t first_size, int32_t growth_size) {
  LinkBuffer* buffer = new (std::nothrow)
      LinkBuffer(first_size > 0 ? first_size : 1, growth_size > 0 ? growth_size : 1);
  return reinterpret_cast<PexoLinkBuffer*>(buffer);
}

void pxLinkBuffer_Free(PexoLinkBuffer* buffer) { delete AsBuffer(buffer); }

int pxLinkBuffer_Concat_Char(PexoLinkBuffer* buffer, char byte) {
  AsBuffer(buffer)->append_char(byte);
  return 1;
}

int pxLinkBuffer_Concat_HexChar(PexoLinkBuffer* buffer, unsigned char byte) {
  AsBuffer(buffer)->append_hex(byte);
  return 1;
}

int pxLinkBuffer_Concat_Int(PexoLinkBuffer* buffer, int32_t value) {
  AsBuffer(buffer)->append_int(value);
  return 1;
}

int pxLinkBuffer_Concat_Double(PexoLinkBuffer* buffer, double value) {
  AsBuffer(buffer)->append_double(value);
  return 1;
}

int pxLinkBuffer_Concat_String(PexoLinkBuffer* buffer, const char* text, int32_t length) {
  if (!text) return 0;
  AsBuffer(buffer)->append(text, length);
  return 1;
}

int pxLinkBuffer_Concat_String_Nocopy(PexoLinkBuffer* buffer, char* text, int32_t length,
                                      int32_t size) {
  if (!text) return 0;
  if (length < 0) length = static_cast<int32_t>(strlen(text));
  if (size < length) size = length;  // the allocation holds at least the text
  AsBuffer(buffer)->append_nocopy(text, length, size);
  return 1;
}

int pxLinkBuffer_Concat_Variable(PexoLinkBuffer* buffer, PexoVariable* variable) {
  if (!variable) return 0;
  const String& value = AsVariable(variable)->Value();
  AsBuffer(buffer)->append(value.data(), value.length());
  return 1;
}

const char* pxLinkBuffer_Data(PexoLinkBuffer* buffer, int32_t* length) {
  return AsBuffer(buffer)->data(length);
}

char* pxLinkBuffer_Release(PexoLinkBuffer* buffer, int32_t* length, int32_t* size,
                           int32_t spare) {
  int32_t n = 0, s = 0;
  char* text = AsBuffer(buffer)->release(&n, &s, spare > 0 ? spare : 0);
  if (length) *length = n;
  if (size) *size = s;
  return text;
}

}  // extern "C"
