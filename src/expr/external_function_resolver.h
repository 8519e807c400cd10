// ExternalFunctionResolver: what the expression compiler asks the host for
// when a called name is neither a function of the program nor of a borrowed
// program: the library function of that name (case-insensitive) with its
// parameter descriptions. The host answers from its external function
// table; `binding` is stored in the new function entry as its link to the
// library function.
#ifndef PEXO_EXPR_EXTERNAL_FUNCTION_RESOLVER_H_
#define PEXO_EXPR_EXTERNAL_FUNCTION_RESOLVER_H_

#include <cstdint>
#include <vector>

namespace pexo {

struct ExternalParameterInfo {
  const char* name;  // borrowed, not terminated
  int32_t name_length;
  int32_t flags;     // bit 0: passed by reference
};

struct ExternalFunctionInfo {
  void* binding = nullptr;
  std::vector<ExternalParameterInfo> parameters;
};

class ExternalFunctionResolver {
 public:
  virtual ~ExternalFunctionResolver() = default;
  // Fills `info` and returns true when a library has the function.
  virtual bool FindExternalFunction(const char* name, int32_t length,
                                    ExternalFunctionInfo* info) = 0;
};

}  // namespace pexo

#endif  // PEXO_EXPR_EXTERNAL_FUNCTION_RESOLVER_H_
