// The localized-text instructions: poplvnc adds a token for the next text,
// localize writes the text of a key in the request's language (falling
// back to the default language) and localizev pushes it. A key neither
// language has writes nothing and pushes the empty text. A piece naming a
// missing dictionary string or a chain leading outside the pieces is fatal.
// The tokens are emptied after every text.
#ifndef PEXO_VM_LOCALIZED_INSTRUCTIONS_H_
#define PEXO_VM_LOCALIZED_INSTRUCTIONS_H_

#include "vm/tag_instructions.h"

namespace pexo {

void RegisterLocalizedInstructions(TagInstructionTable* table);

}  // namespace pexo

#endif  // PEXO_VM_LOCALIZED_INSTRUCTIONS_H_
