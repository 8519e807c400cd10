// RequestUploads: the request body's file uploads: the script's two upload
// functions (Pexo_ValidateFileUpload, Pexo_ProcessFileUpload) and the
// "PEXO_FUP" temporary files at the top of the data directory. The body
// parser's timer calls go to the request's deadlines.
//
// The file manager and the deadlines are borrowed; the machine and the
// image are set once the machine exists and cleared when it is released.
#ifndef PEXO_HOST_REQUEST_UPLOADS_H_
#define PEXO_HOST_REQUEST_UPLOADS_H_

#include <cstdint>

#include "io/upload.h"
#include "values/string.h"

namespace pexo {

class PexoVM;
class PosixFileManager;
class ProgramImage;
class RequestDeadlines;

class RequestUploads : public UploadCallbacks, public UploadFileFactory {
 public:
  RequestUploads(PosixFileManager* files, RequestDeadlines* deadlines);

  void SetProgram(PexoVM* machine, ProgramImage* image) {
    machine_ = machine;
    image_ = image;
  }

  // UploadCallbacks.
  UploadCallResult ValidateFileUpload(const String& field, const String& file_name,
                                      const String& content_type, int32_t* result) override;
  UploadCallResult ProcessFileUpload(const String& field, const String& file_name,
                                     const char* status, const String& path,
                                     const String& content_type, int64_t received) override;
  void StartGlobalTimer() override;
  void StartPostTimer() override;
  void StopPostTimer() override;

  // UploadFileFactory.
  UploadFile* CreateTemporaryFile(String* path) override;
  void DeleteFile(const String& path) override;

 private:
  PosixFileManager* files_;
  RequestDeadlines* deadlines_;
  PexoVM* machine_ = nullptr;
  ProgramImage* image_ = nullptr;
};

}  // namespace pexo

#endif  // PEXO_HOST_REQUEST_UPLOADS_H_
