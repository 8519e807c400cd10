// The PxDO instructions: op_do_file runs another compiled file of the script
// directory in this request, op_do_function evaluates an expression in such
// a file's context and leaves its value (the null variable when there is
// none, so the stack stays balanced). The host must offer DoContextHost.
#ifndef PEXO_HOST_DO_INSTRUCTIONS_H_
#define PEXO_HOST_DO_INSTRUCTIONS_H_

#include "vm/tag_instructions.h"

namespace pexo {

void RegisterDoInstructions(TagInstructionTable* table);

}  // namespace pexo

#endif  // PEXO_HOST_DO_INSTRUCTIONS_H_
