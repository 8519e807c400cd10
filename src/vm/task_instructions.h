// The instructions of PxASYNCHRONOUS: `async` (operand: the length of the
// block that follows) and `asyncn` (also the number of attributes: 0 or one
// isolation text). The machine asks its host to start a task on a copy of
// itself and, unless the host answers that the caller runs the block,
// jumps over the block.
#ifndef PEXO_VM_TASK_INSTRUCTIONS_H_
#define PEXO_VM_TASK_INSTRUCTIONS_H_

namespace pexo {

class TagInstructionTable;

void RegisterTaskInstructions(TagInstructionTable* table);

}  // namespace pexo

#endif  // PEXO_VM_TASK_INSTRUCTIONS_H_
