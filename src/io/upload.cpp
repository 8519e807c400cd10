#include "io/upload.h"

namespace pexo {

UploadFile::~UploadFile() = default;
UploadFileFactory::~UploadFileFactory() = default;
UploadCallbacks::~UploadCallbacks() = default;

}  // namespace pexo
