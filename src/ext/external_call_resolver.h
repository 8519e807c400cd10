// ExternalCallResolver: answers the expression compiler's library function
// lookups from the application's ExternalCallManager; the binding it hands
// out is the resolved ExternalCall, as the machine's external calls expect.
#ifndef PEXO_EXT_EXTERNAL_CALL_RESOLVER_H_
#define PEXO_EXT_EXTERNAL_CALL_RESOLVER_H_

#include "expr/external_function_resolver.h"

namespace pexo {

class ExternalCallManager;

class ExternalCallResolver : public ExternalFunctionResolver {
 public:
  explicit ExternalCallResolver(ExternalCallManager* calls) : calls_(calls) {}
  bool FindExternalFunction(const char* name, int32_t length,
                            ExternalFunctionInfo* info) override;

 private:
  ExternalCallManager* calls_;
};

}  // namespace pexo

#endif  // PEXO_EXT_EXTERNAL_CALL_RESOLVER_H_
