// pxlist: prints a compiled Pexo program: header, directory, dictionary,
// variable names, functions, segments and the instruction listing of every
// segment.
//
//   pxlist FILE.pxc
//
// Exit status: 0 printed, 1 the file cannot be opened or loaded, 2 usage.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "l10n/localized_tables.h"
#include "program/byte_stream.h"
#include "program/function_manager.h"
#include "program/program_image.h"
#include "program/segment_manager.h"
#include "program/tagged_file.h"
#include "program/listing.h"

namespace {

using pexo::Dictionary;
using pexo::NameTable;

// Dictionary text as a quoted C-style literal.
std::string Quoted(const Dictionary& d, int32_t index) {
  int32_t length = 0;
  const char* p = d.get(index, &length);
  if (!p) return "<invalid " + std::to_string(index) + ">";
  std::string out = "\"";
  for (int32_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string CodeText(uint32_t code) {
  char c[4] = {static_cast<char>(code & 0xFF), static_cast<char>(code >> 8 & 0xFF),
               static_cast<char>(code >> 16 & 0xFF), static_cast<char>(code >> 24 & 0xFF)};
  bool printable = true;
  for (char x : c) printable = printable && std::isprint(static_cast<unsigned char>(x));
  if (printable) return std::string(c, 4);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08x", code);
  return hex;
}

void PrintNames(const char* title, const NameTable& t, const Dictionary& d, const char* indent) {
  std::printf("%s%s: %d (bucket bits %d)\n", indent, title, t.count(), t.bucket_bits);
  for (int32_t i = 0; i < t.count(); ++i) {
    std::printf("%s  %d %s\n", indent, i, Quoted(d, t.names[static_cast<size_t>(i)]).c_str());
  }
}

void PrintHeader(const pexo::TaggedFile& file) {
  std::printf("version: %d\nidentity:", file.version());
  for (int i = 0; i < pexo::kIdentitySize; ++i) std::printf(" %02x", file.identity()[i]);
  std::printf("\ndirectory: %d entries\n", file.section_count());
  for (int32_t i = 0; i < file.section_count(); ++i) {
    const pexo::SectionEntry& e = file.section_entry(i);
    std::printf("  %-10s offset %d size %d\n", CodeText(e.code).c_str(), e.offset, e.size);
  }
}

void PrintImage(pexo::ProgramImage& image) {
  Dictionary& d = image.dictionary();
  std::printf("dictionary: %d strings, flags 0x%x\n", d.count(), d.flags());
  for (int32_t i = 0; i < d.count(); ++i) std::printf("  %d %s\n", i, Quoted(d, i).c_str());
  PrintNames("system variables", image.system_names(), d, "");
  PrintNames("global variables", image.global_names(), d, "");
  PrintNames("languages", image.localized().languages(), d, "");
  const auto& pieces = image.localized().pieces();
  std::printf("localized pieces: %d\n", static_cast<int>(pieces.size()));
  for (size_t i = 0; i < pieces.size(); ++i) {
    std::printf("  %d %s %s next %d\n", static_cast<int>(i), pieces[i].type == pexo::LocalizedPiece::kText ? "text" : "token",
                Quoted(d, pieces[i].text).c_str(), pieces[i].next);
  }
  pexo::FunctionManager& fm = image.functions();
  std::printf("functions: %d\n", fm.count());
  for (int32_t i = 0; i < fm.count(); ++i) {
    const pexo::Function* f = fm.function(i);
    if (!f) continue;
    std::printf("  %d %s flags 0x%x%s%s segment %d offset %d\n", i, Quoted(d, f->name_index()).c_str(), f->flags(),
                f->is_external() ? " external" : "", f->is_private() ? " private" : "", f->segment(), f->offset());
    for (const pexo::FunctionParameter& p : f->parameters()) {
      std::printf("    parameter %s%s local %d\n", p.by_reference ? "var " : "", Quoted(d, p.name_index).c_str(),
                  p.local_index);
    }
    PrintNames("locals", f->locals(), d, "    ");
  }
  pexo::SegmentManager& segs = image.segments();
  std::printf("segments: %d, start %d\n", segs.count(), segs.start());
  for (int32_t i = 0; i < segs.count(); ++i) {
    const pexo::Segment* s = segs.segment(i);
    if (s) std::printf("  %d length %d\n", i, s->length());
  }
  for (int32_t i = 0; i < segs.count(); ++i) {
    const pexo::Segment* s = segs.segment(i);
    if (!s) continue;
    std::string title = "segment " + std::to_string(i);
    std::fflush(stdout);
    pexo::WriteListing(stdout, title.data(), static_cast<int32_t>(title.size()), s->code(), s->length());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs("usage: pxlist FILE.pxc\n", stderr);
    return 2;
  }
  pexo::String error;
  std::unique_ptr<pexo::PosixFileStream> stream = pexo::PosixFileStream::Open(argv[1], &error);
  if (!stream) {
    std::fprintf(stderr, "pxlist: cannot open '%s': %s\n", argv[1], error.c_str());
    return 1;
  }
  pexo::TaggedFile file;
  if (!file.open(argv[1], std::move(stream))) {
    std::fprintf(stderr, "pxlist: '%s': %s\n", argv[1], file.last_error().c_str());
    return 1;
  }
  std::printf("file: %s\n", argv[1]);
  PrintHeader(file);
  pexo::ProgramImage image;
  if (!image.load(file)) {
    std::fprintf(stderr, "pxlist: '%s': %s\n", argv[1], image.error().c_str());
    return 1;
  }
  PrintImage(image);
  return 0;
}
