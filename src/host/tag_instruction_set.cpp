#include "host/tag_instruction_set.h"

#include "db/database_instructions.h"
#include "db/import_export_instructions.h"
#include "ext/commerce.h"
#include "host/do_instructions.h"
#include "io/io_instructions.h"
#include "net/network_instructions.h"
#include "vm/localized_instructions.h"
#include "vm/task_instructions.h"

namespace pexo {

namespace {

TagInstructionTable BuildTable() {
  TagInstructionTable table;
  // Each layer that implements tag instructions adds its Register...() call
  // here.
  RegisterImportExportInstructions(&table);
  RegisterIoInstructions(&table);
  RegisterDoInstructions(&table);
  RegisterLocalizedInstructions(&table);
  RegisterTaskInstructions(&table);
  RegisterCommerceInstructions(&table);
  RegisterDatabaseInstructions(&table);
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
