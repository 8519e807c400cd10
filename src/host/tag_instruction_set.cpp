#include "host/tag_instruction_set.h"

#include "net/network_instructions.h"

namespace pexo {

namespace {

TagInstructionTable BuildTable() {
  TagInstructionTable table;
  // Each layer that implements tag instructions adds its Register...() call
  // here.
  RegisterNetworkInstructions(&table);
  return table;
}

}  // namespace

const TagInstructionTable* EngineTagInstructions() {
  // Built on first use (thread-safe static); never changed afterwards.
  static const TagInstructionTable table = BuildTable();
  return &table;
}

}  // namespace pexo
