// Test doubles for the content parsers: a variable store kept in one
// structure variable, temporary files kept in memory, and scripted upload
// callbacks that record what they were given.
#ifndef PEXO_TESTS_IO_CONTENT_FAKES_H_
#define PEXO_TESTS_IO_CONTENT_FAKES_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "io/content_parser.h"
#include "io/upload.h"
#include "values/aggregate_index.h"
#include "values/variable.h"

namespace pexo {
namespace testing_fakes {

// Form fields accumulate as a scope does: a plain value first, then an
// array of every value.
class StructStore : public ContentVariableStore {
 public:
  StructStore() { root_.MakeAggregate(kKindStructure); }

  bool SetFormField(const char* name, int32_t name_length, const char* value,
                    int32_t value_length) override {
    Variable* v = root_.Element(AggregateIndex(name, name_length), 1);
    if (!v) return false;
    if (v->IsNULL() && v->AggregateKind() != kKindArray) {
      v->SetValue(value, value_length);
    } else if (v->AggregateKind() == kKindScalar) {
      Variable* old = v->Copy();
      v->MakeAggregate(kKindArray);
      v->Set_Element(AggregateIndex(1), old);
      old->Release();
      v->Element(AggregateIndex(2), 1)->SetValue(value, value_length);
    } else {
      v->Element(AggregateIndex(v->ElementsUsed() + 1), 1)->SetValue(value, value_length);
    }
    return true;
  }

  Variable* MakeVariable(const char* name) override {
    return root_.Element(AggregateIndex(name, -1), 1);
  }

  Variable* Get(const std::string& name) {
    return root_.Element(AggregateIndex(name.data(), static_cast<int32_t>(name.size())), 0);
  }
  // "<text>" for a scalar, "[a|b|c]" for an array; "<missing>" when absent.
  std::string Show(const std::string& name) {
    Variable* v = Get(name);
    if (!v) return "<missing>";
    if (v->AggregateKind() != kKindArray) return std::string(v->Value().data(), static_cast<size_t>(v->Value().length()));
    std::string out = "[";
    for (int32_t i = v->Array_Min(); i > 0; i = v->Array_Next(i)) {
      const String& t = v->Element(AggregateIndex(i), 0)->Value();
      if (out.size() > 1) out += "|";
      out.append(t.data(), static_cast<size_t>(t.length()));
    }
    return out + "]";
  }
  int32_t Count() { return root_.ElementsUsed(); }
  Variable* root() { return &root_; }

 private:
  Variable root_;
};

class MemoryFiles : public UploadFileFactory {
 public:
  class File : public UploadFile {
   public:
    File(MemoryFiles* owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    bool Write(const char* data, int32_t length) override {
      if (owner_->fail_writes) return false;
      owner_->contents[path_].append(data, static_cast<size_t>(length));
      return true;
    }
    bool Close() override {
      owner_->closed.insert(path_);
      return true;
    }

   private:
    MemoryFiles* owner_;
    std::string path_;
  };

  UploadFile* CreateTemporaryFile(String* path) override {
    if (fail_create) return nullptr;
    std::string name = "/data/PEXO_FUP." + std::to_string(created++);
    contents[name];
    path->assign(name.c_str());
    return new File(this, name);
  }
  void DeleteFile(const String& path) override {
    std::string name(path.data(), static_cast<size_t>(path.length()));
    if (contents.erase(name)) deleted++;
  }

  std::map<std::string, std::string> contents;  // files that exist now
  std::set<std::string> closed;
  int created = 0;
  int deleted = 0;
  bool fail_create = false;
  bool fail_writes = false;
};

struct ProcessCall {
  std::string field, file, status, path, type, data;
  int64_t received;
};

class ScriptedCallbacks : public UploadCallbacks {
 public:
  explicit ScriptedCallbacks(MemoryFiles* files) : files_(files) {}

  UploadCallResult ValidateFileUpload(const String& field, const String& file_name,
                                      const String& content_type, int32_t* result) override {
    validated.push_back(std::string(field.c_str()) + "|" + file_name.c_str() + "|" +
                        content_type.c_str());
    events += "V";
    *result = validate_result;
    return validate;
  }
  UploadCallResult ProcessFileUpload(const String& field, const String& file_name,
                                     const char* status, const String& path,
                                     const String& content_type, int64_t received) override {
    std::string p(path.data(), static_cast<size_t>(path.length()));
    // The file must be closed and still there while the script looks at it.
    bool ready = files_->contents.count(p) && files_->closed.count(p);
    processed.push_back(ProcessCall{field.c_str(), file_name.c_str(), status, p,
                                    content_type.c_str(),
                                    ready ? files_->contents[p] : "<not ready>", received});
    events += "P";
    return process;
  }
  void StartGlobalTimer() override { events += "g"; }
  void StartPostTimer() override { events += "p"; }
  void StopPostTimer() override { events += "s"; }

  UploadCallResult validate = kUploadCallUndefined;
  int32_t validate_result = 0;
  UploadCallResult process = kUploadCallDone;
  std::vector<std::string> validated;
  std::vector<ProcessCall> processed;
  std::string events;

 private:
  MemoryFiles* files_;
};

}  // namespace testing_fakes
}  // namespace pexo

#endif  // PEXO_TESTS_IO_CONTENT_FAKES_H_
