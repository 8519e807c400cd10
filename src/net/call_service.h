// Call: the service of one running PxCALL. Open sends the request and reads
// the response head, then sets the response variables in the scope that was
// current when the call started; Next exposes the following object of the
// body (a text run or a tag, or with "noparse" the whole body) through the
// object variables. The connection closes when the service is destroyed.
//
// Variables: callreturnheader (array: status line, then each header line),
// callnumberofheaders, callservercertificate (https), callvalue,
// callobjecttype ("text"/"tag"), callobjectelement,
// callobjectnumattributes, callobjectattribute and callobjectvalue (arrays
// of the current tag's attribute names and values, emptied before each tag).
#ifndef PEXO_NET_CALL_SERVICE_H_
#define PEXO_NET_CALL_SERVICE_H_

#include <cstdint>

#include "net/http_call.h"
#include "vm/feature.h"

namespace pexo {

class FileManager;
class NetworkState;
class Variable;
class VariableHash;

// Upload files read through the request's sandboxed file layer (data
// location).
class SandboxedCallFiles : public CallFileSource {
 public:
  explicit SandboxedCallFiles(FileManager* files) : files_(files) {}
  std::unique_ptr<CallFileReader> Open(const String& name) override;

 private:
  FileManager* files_;
};

class Call : public Feature {
 public:
  // The state and the scope are borrowed; the scope is the machine's
  // current one, which outlives the service (a return stops it).
  Call(PexoVM* vm, NetworkState* state, VariableHash* scope);

  // 1 with the response variables set, or 0 with ErrorText().
  int Open(const CallRequest& request, const TlsOptions& tls, int32_t timeout);
  // 1: the next object is exposed; 0: the body is over; -1: ErrorText().
  int Next();

 private:
  void Set(const char* name, const String& value);
  Variable* Find(const char* name);
  void SetArray(const char* name, const std::vector<String>& values);

  SandboxedCallFiles files_;
  HttpCall call_;
  VariableHash* scope_;
  CallObject object_;
};

}  // namespace pexo

#endif  // PEXO_NET_CALL_SERVICE_H_
