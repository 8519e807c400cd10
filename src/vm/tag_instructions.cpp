#include "vm/tag_instructions.h"

#include <algorithm>

namespace pexo {

namespace {
bool WordBelow(const std::pair<uint16_t, TagInstruction>& entry, uint16_t word) {
  return entry.first < word;
}
}  // namespace

void TagInstructionTable::Set(uint16_t word, TagInstruction handler) {
  auto at = std::lower_bound(handlers_.begin(), handlers_.end(), word, WordBelow);
  if (at != handlers_.end() && at->first == word)
    at->second = handler;
  else
    handlers_.insert(at, {word, handler});
}

TagInstruction TagInstructionTable::Get(uint16_t word) const {
  auto at = std::lower_bound(handlers_.begin(), handlers_.end(), word, WordBelow);
  return at != handlers_.end() && at->first == word ? at->second : nullptr;
}

}  // namespace pexo
