#include "text_functions.h"

#include <string>

#include "std_array.h"
#include "utf8.h"

namespace pexo {
namespace stdlib {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view TrimLeft(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  return text.substr(start);
}

std::string_view TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

// The byte count a signed count allows out of `available`.
size_t Clamp(int64_t count, size_t available) {
  if (count <= 0) return 0;
  return static_cast<uint64_t>(count) < available ? static_cast<size_t>(count) : available;
}

// Appends `fill` repeatedly until `out` holds `width` more bytes.
void AppendFill(std::string_view fill, size_t width, std::string* out) {
  while (width > 0) {
    size_t piece = fill.size() < width ? fill.size() : width;
    out->append(fill.data(), piece);
    width -= piece;
  }
}

}  // namespace

void Length(StdCall& call) { call.ReturnInteger(static_cast<int64_t>(call.Text(0).size())); }

void Left(StdCall& call) {
  std::string_view text = call.Text(0);
  call.ReturnText(text.substr(0, Clamp(call.Int(1), text.size())));
}

void Right(StdCall& call) {
  std::string_view text = call.Text(0);
  size_t count = Clamp(call.Int(1), text.size());
  call.ReturnText(text.substr(text.size() - count));
}

void Mid(StdCall& call) {
  std::string_view text = call.Text(0);
  int64_t start = call.Int(1);
  // Negative starts count from the end: -1 is the last byte.
  if (start < 0) start += static_cast<int64_t>(text.size()) + 1;
  if (start < 1) start = 1;
  if (start > static_cast<int64_t>(text.size())) {
    call.ReturnText(std::string_view());
    return;
  }
  std::string_view rest = text.substr(static_cast<size_t>(start - 1));
  call.ReturnText(rest.substr(0, Clamp(call.Int(2), rest.size())));
}

void Upper(StdCall& call) {
  std::string text(call.Text(0));
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  call.ReturnText(text);
}

void Lower(StdCall& call) {
  std::string text(call.Text(0));
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  call.ReturnText(text);
}

void Trim(StdCall& call) { call.ReturnText(TrimRight(TrimLeft(call.Text(0)))); }
void LTrim(StdCall& call) { call.ReturnText(TrimLeft(call.Text(0))); }
void RTrim(StdCall& call) { call.ReturnText(TrimRight(call.Text(0))); }

void Replace(StdCall& call) {
  std::string_view text = call.Text(0), search = call.Text(1), replacement = call.Text(2);
  if (search.empty()) {
    call.ReturnText(text);
    return;
  }
  std::string out;
  size_t from = 0;
  for (size_t at = text.find(search); at != std::string_view::npos;
       at = text.find(search, from)) {
    out.append(text.data() + from, at - from);
    out.append(replacement.data(), replacement.size());
    from = at + search.size();
    // Each replacement can only grow the text by this much; stop early.
    if (!call.CheckSize(static_cast<int64_t>(out.size() + (text.size() - from)))) return;
  }
  out.append(text.data() + from, text.size() - from);
  call.ReturnText(out);
}

void Split(StdCall& call) {
  std::string_view text = call.Text(0), separator = call.Text(1);
  PexoVariable* result = call.result();
  MakeEmptyArray(result);
  int32_t index = 0;
  if (separator.empty()) {
    // One element per character.
    for (size_t at = 0; at < text.size();) {
      uint32_t code;
      int32_t length = Utf8CharacterAt(text, at, &code);
      SetTextElement(result, ++index, text.substr(at, static_cast<size_t>(length)));
      at += static_cast<size_t>(length);
    }
    return;
  }
  if (text.empty()) return;
  size_t from = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, from)) {
    SetTextElement(result, ++index, text.substr(from, at - from));
    from = at + separator.size();
  }
  SetTextElement(result, ++index, text.substr(from));
}

void Join(StdCall& call) {
  PexoVariable* aggregate = call.Arg(0);
  std::string_view separator = call.Text(1);
  if (pxVariable_Aggregate_Type(aggregate) == PX_AGGREGATE_SCALAR) {
    call.ReturnText(call.Text(0));
    return;
  }
  ElementList list(aggregate);
  std::string out;
  bool first = true;
  for (PexoVariable* element : list.elements()) {
    if (!first) out.append(separator.data(), separator.size());
    first = false;
    int32_t length = 0;
    const char* text = pxVariable_Value(element, &length);
    if (text && length > 0) out.append(text, static_cast<size_t>(length));
    if (!call.CheckSize(static_cast<int64_t>(out.size()))) return;
  }
  call.ReturnText(out);
}

void Pad(StdCall& call) {
  std::string_view text = call.Text(0), fill = call.Text(2);
  int64_t width = call.Int(1);
  bool left = width < 0;
  if (left) width = -width;
  if (!call.CheckSize(width)) return;
  if (fill.empty()) fill = " ";
  if (static_cast<int64_t>(text.size()) >= width) {
    call.ReturnText(text);
    return;
  }
  size_t missing = static_cast<size_t>(width) - text.size();
  std::string out;
  out.reserve(static_cast<size_t>(width));
  if (left) AppendFill(fill, missing, &out);
  out.append(text.data(), text.size());
  if (!left) AppendFill(fill, missing, &out);
  call.ReturnText(out);
}

void Repeat(StdCall& call) {
  std::string_view text = call.Text(0);
  int64_t count = call.Int(1);
  if (count <= 0 || text.empty()) {
    call.ReturnText(std::string_view());
    return;
  }
  if (!call.CheckSize(count * static_cast<int64_t>(text.size()))) return;
  std::string out;
  out.reserve(static_cast<size_t>(count) * text.size());
  for (int64_t i = 0; i < count; ++i) out.append(text.data(), text.size());
  call.ReturnText(out);
}

void Reverse(StdCall& call) {
  std::string_view text = call.Text(0);
  std::string out(text.size(), '\0');
  size_t end = text.size();
  for (size_t at = 0; at < text.size();) {
    uint32_t code;
    size_t length = static_cast<size_t>(Utf8CharacterAt(text, at, &code));
    end -= length;
    out.replace(end, length, text.substr(at, length));
    at += length;
  }
  call.ReturnText(out);
}

void Chr(StdCall& call) {
  int64_t code = call.Int(0);
  std::string out;
  if (!pxProgram_CharacterSetIsUTF8(call.program())) {
    if (code < 0 || code > 255) {
      call.Fail("character code " + std::to_string(code) + " is outside 0 to 255");
      return;
    }
    out.push_back(static_cast<char>(code));
  } else if (code < 0 || !AppendUtf8(static_cast<uint32_t>(code), &out)) {
    call.Fail("character code " + std::to_string(code) + " is not a Unicode character");
    return;
  }
  call.ReturnText(out);
}

void Ord(StdCall& call) {
  std::string_view text = call.Text(0);
  if (text.empty()) {
    call.ReturnInteger(0);
    return;
  }
  uint32_t code = static_cast<unsigned char>(text[0]);
  if (pxProgram_CharacterSetIsUTF8(call.program())) Utf8CharacterAt(text, 0, &code);
  call.ReturnInteger(code);
}

}  // namespace stdlib
}  // namespace pexo
