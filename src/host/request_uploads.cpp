#include "host/request_uploads.h"

#include <cstdio>
#include <memory>

#include "host/posix_file_manager.h"
#include "host/request_deadlines.h"
#include "host/script_function.h"
#include "values/variable.h"

namespace pexo {

namespace {

// An upload's temporary file, written through the file layer.
class ManagedUploadFile : public UploadFile {
 public:
  explicit ManagedUploadFile(PosixFile* file) : file_(file) {}
  bool Write(const char* data, int32_t length) override {
    if (!file_) return false;
    if (!file_->Write(data, length)) ok_ = false;
    return ok_;
  }
  bool Close() override {
    file_.reset();
    return ok_;
  }

 private:
  std::unique_ptr<PosixFile> file_;
  bool ok_ = true;
};

}  // namespace

RequestUploads::RequestUploads(PosixFileManager* files, RequestDeadlines* deadlines)
    : files_(files), deadlines_(deadlines) {}

UploadCallResult RequestUploads::ValidateFileUpload(const String& field, const String& file_name,
                                                    const String& content_type, int32_t* result) {
  Variable value;
  UploadCallResult outcome = CallScriptFunction(machine_, image_, "Pexo_ValidateFileUpload",
                                                {field, file_name, content_type}, &value);
  if (outcome == kUploadCallDone) *result = value.Value_Integer();
  return outcome;
}

UploadCallResult RequestUploads::ProcessFileUpload(const String& field, const String& file_name,
                                                   const char* status, const String& path,
                                                   const String& content_type, int64_t received) {
  char count[24];
  std::snprintf(count, sizeof count, "%lld", static_cast<long long>(received));
  return CallScriptFunction(machine_, image_, "Pexo_ProcessFileUpload",
                            {field, file_name, String(status), path, content_type, String(count)},
                            nullptr);
}

void RequestUploads::StartGlobalTimer() { deadlines_->StartGlobalTimer(); }

void RequestUploads::StartPostTimer() { deadlines_->StartPostTimer(); }

void RequestUploads::StopPostTimer() { deadlines_->StopPostTimer(); }

UploadFile* RequestUploads::CreateTemporaryFile(String* path) {
  String name;
  PosixFile* file = files_->CreateTemporaryFile(FILE_DATA, "", "PEXO_FUP", &name,
                                                FILE_WRITE | FILE_CREATE_NEW);
  if (!file) return nullptr;
  if (!files_->ResolvePath(FILE_DATA, name.c_str(), name.length(), path)) {
    delete file;
    files_->Delete(FILE_DATA, name.c_str());
    return nullptr;
  }
  return new ManagedUploadFile(file);
}

void RequestUploads::DeleteFile(const String& path) { files_->DeleteRaw(path.c_str()); }

}  // namespace pexo
