// Calling one of the program's own functions from the host (the upload
// callbacks): the arguments go into a scope of their own, a call of the
// function on them is compiled as a run-time expression and run as a nested
// segment of the request's machine, and the returned value is kept.
#ifndef PEXO_HOST_SCRIPT_FUNCTION_H_
#define PEXO_HOST_SCRIPT_FUNCTION_H_

#include <cstdint>
#include <vector>

#include "io/upload.h"
#include "values/string.h"

namespace pexo {

class PexoVM;
class ProgramImage;
class Variable;

// kUploadCallUndefined when the program has no function of that name;
// kUploadCallFailed when it takes another number of parameters, the call
// cannot be compiled, or the machine stops (error or exit) during it;
// otherwise kUploadCallDone with the returned value in `result` (may be
// null when the value is not wanted).
UploadCallResult CallScriptFunction(PexoVM* vm, ProgramImage* image, const char* name,
                                    const std::vector<String>& arguments, Variable* result);

}  // namespace pexo

#endif  // PEXO_HOST_SCRIPT_FUNCTION_H_
