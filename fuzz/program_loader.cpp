// Feeds arbitrary bytes to the container reader and the whole program load,
// then pokes the loaded image the way the machine would.
#include <cstddef>
#include <cstdint>

#include "program/byte_stream.h"
#include "program/program_image.h"
#include "program/tagged_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pexo;
  TaggedFile file;
  if (!file.open("fuzz.pxc", std::make_unique<MemoryByteStream>(data, size))) return 0;
  char buffer[64];
  file.read_at(SectionId("segs"), 0, buffer, sizeof buffer);
  ProgramImage image;
  if (!image.load(file)) return 0;
  for (int32_t i = 0; i < image.functions().count(); ++i) {
    Function* f = image.functions().function(i);
    image.functions().find(f->name().data(), f->name().length());
  }
  for (int32_t i = 0; i < image.localized().languages().count(); ++i)
    image.localized().index(file, i);
  if (Segment* start = image.segments().start_segment()) {
    int32_t word = 0;
    start->read_dword(0, &word);
  }
  return 0;
}
