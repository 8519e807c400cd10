#include "host/script_image.h"

#include "program/byte_stream.h"
#include "values/system_variable_hash.h"
#include "values/variable_hash.h"

namespace pexo {

ScriptImage::ScriptImage() = default;

ScriptImage::~ScriptImage() {
  // Variables go before the dictionary that names them.
  globals_.reset();
  system_.reset();
}

bool ScriptImage::LoadFile(const char* path, const char* display_path, String* error) {
  String open_error;
  std::unique_ptr<PosixFileStream> stream = PosixFileStream::Open(path, &open_error);
  if (!stream) {
    error->assign(open_error);
    return false;
  }
  return Open(display_path, std::move(stream), error);
}

bool ScriptImage::LoadBytes(const void* bytes, size_t length, const char* display_path,
                            String* error) {
  return Open(display_path, std::make_unique<MemoryByteStream>(bytes, length), error);
}

bool ScriptImage::Open(const char* display_path, std::unique_ptr<ByteStream> stream,
                       String* error) {
  if (!file_.open(display_path, std::move(stream))) {
    error->assign(file_.last_error());
    return false;
  }
  if (!image_.load(file_)) {
    error->assign(image_.error());
    return false;
  }
  auto system = std::make_unique<SystemVariableHash>(&image_.dictionary());
  if (!system->InitFromTable(image_.system_names(), 0, error)) return false;
  std::unique_ptr<VariableHash> globals(
      NewVariableHashFromTable(image_.global_names(), &image_.dictionary(), error));
  if (!globals) return false;
  system_ = std::move(system);
  globals_ = std::move(globals);
  return true;
}

}  // namespace pexo
