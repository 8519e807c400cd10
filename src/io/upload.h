// What the multipart parser needs from its surroundings to handle file
// uploads: temporary files to stream into, and the two optional script
// functions with the request timers around them.
#ifndef PEXO_IO_UPLOAD_H_
#define PEXO_IO_UPLOAD_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

// A temporary file open for writing.
class UploadFile {
 public:
  virtual ~UploadFile();
  virtual bool Write(const char* data, int32_t length) = 0;
  // Flushes and closes; true when everything written reached the file.
  virtual bool Close() = 0;
};

class UploadFileFactory {
 public:
  virtual ~UploadFileFactory();
  // Creates a uniquely named temporary file for an upload and stores its
  // full path; null on failure.
  virtual UploadFile* CreateTemporaryFile(String* path) = 0;
  virtual void DeleteFile(const String& path) = 0;
};

// Outcome of calling a script function.
enum UploadCallResult {
  kUploadCallUndefined,  // the script defines no such function
  kUploadCallFailed,     // wrong parameter count, or the script stopped
  kUploadCallDone,
};

class UploadCallbacks {
 public:
  virtual ~UploadCallbacks();
  // Pexo_ValidateFileUpload(field, file name, content type); `result` gets
  // the returned number when the call is done.
  virtual UploadCallResult ValidateFileUpload(const String& field, const String& file_name,
                                              const String& content_type, int32_t* result) = 0;
  // Pexo_ProcessFileUpload(field, file name, status, path, content type,
  // received bytes).
  virtual UploadCallResult ProcessFileUpload(const String& field, const String& file_name,
                                             const char* status, const String& path,
                                             const String& content_type, int64_t received) = 0;
  virtual void StartGlobalTimer() {}
  virtual void StartPostTimer() {}
  virtual void StopPostTimer() {}
};

}  // namespace pexo

#endif  // PEXO_IO_UPLOAD_H_
