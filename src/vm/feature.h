// Feature: a long-lived tag construct (an import loop, a mail session, a
// capture, a lock, a web call, a commerce loop) kept on its machine's service
// stack from its start instruction until its end instruction, the return of
// the function that started it, or the end of the request.
//
// A subclass releases everything it holds in its destructor, so that a
// service stopped by a return or a fatal error leaves nothing behind.
#ifndef PEXO_VM_FEATURE_H_
#define PEXO_VM_FEATURE_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class PexoApplication;
class PexoVM;
class PexoVM_Frame;

// Kinds of service, as the tags know them.
enum FeatureKind : int32_t {
  kFeatureImport = 1,
  kFeatureSMTP = 3,
  kFeatureCommerce = 4,
  kFeaturePOP3 = 5,
  kFeatureLockfile = 6,
  kFeatureCall = 7,
  kFeatureCapture = 8,
};

class Feature {
 public:
  // Records the machine's current frame as the frame that started it.
  Feature(PexoVM* vm, int32_t kind);
  Feature(const Feature&) = delete;
  Feature& operator=(const Feature&) = delete;
  virtual ~Feature();

  // The request's signal counter changed while the service was active.
  virtual void SignalNotification(int32_t signal);
  // 1 when the construct could start; 0 with ErrorText() set.
  virtual int Start();
  // The end instruction was reached; 0 with ErrorText() set.
  virtual int End();
  virtual const String& ErrorText() const { return error_; }

  int32_t kind() const { return kind_; }
  PexoVM* vm() const { return vm_; }
  PexoApplication* host() const { return host_; }
  PexoVM_Frame* frame() const { return frame_; }

 protected:
  String error_;

 private:
  PexoApplication* host_;
  PexoVM* vm_;
  PexoVM_Frame* frame_;
  int32_t kind_;
};

}  // namespace pexo

#endif  // PEXO_VM_FEATURE_H_
