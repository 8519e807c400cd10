// MachineDatabases: the databases a machine has open, as the machine sees
// them: only their field variables, for name resolution and the field
// instructions. The database layer implements it (DatabaseManager); a host
// names the factory in ProgramContext::databases, the machine makes the
// object on first use, owns it and destroys it (closing every database)
// before its frames and stacks.
#ifndef PEXO_VM_MACHINE_DATABASES_H_
#define PEXO_VM_MACHINE_DATABASES_H_

#include <cstdint>
#include <memory>

namespace pexo {

class PexoVM;
struct ProgramContext;
class Variable;

class MachineDatabases {
 public:
  virtual ~MachineDatabases() = default;

  // The field variable `name` (borrowed), or null. A null `alias` searches
  // every open database in order; an empty one means the primary database;
  // any other names the database (case-insensitive).
  virtual Variable* Field(const char* alias, int32_t alias_length, const char* name,
                          int32_t length) = 0;
};

using MachineDatabasesFactory = std::unique_ptr<MachineDatabases> (*)(
    PexoVM* machine, const ProgramContext& context);

}  // namespace pexo

#endif  // PEXO_VM_MACHINE_DATABASES_H_
