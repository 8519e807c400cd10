// MachineExtensions: what the machine needs from the layers that load
// libraries, so that it does not depend on them: binding a function declared
// external to a library function, checking how each parameter is passed,
// calling it, and the program handle library functions receive.
//
// The api layer implements it (MachineApiContext). A host names the factory
// in ProgramContext::extensions; the machine makes its extensions on first
// use, owns them and destroys them before anything else. A machine without a
// factory has no program handle and resolves no external function.
#ifndef PEXO_VM_MACHINE_EXTENSIONS_H_
#define PEXO_VM_MACHINE_EXTENSIONS_H_

#include <cstdint>
#include <memory>

namespace pexo {

class ApiContext;
class ExternalCall;  // opaque here: only handed back to the extensions
class Function;
class PexoVM;
struct ProgramContext;
class String;
class Variable;
class VariableHash;

class MachineExtensions {
 public:
  virtual ~MachineExtensions() = default;

  // The program handle (owned by this object).
  virtual ApiContext* Handle() = 0;
  // The library function bound to `function`, or null with the run-time
  // message in `error`.
  virtual ExternalCall* BindExternal(Function* function, String* error) = 0;
  // Whether parameter `index` is passed as the library function expects;
  // false with the message in `error`.
  virtual bool CheckExternalParameter(const ExternalCall& call, const Function& function,
                                      int32_t index, String* error) = 0;
  // Calls the function with its parameters in `scope`: the result with one
  // reference, or null.
  virtual Variable* InvokeExternal(ExternalCall* call, VariableHash* scope) = 0;
};

// The message of an external function no library resolves, as both the
// machine (without extensions) and the extensions report it.
void UnresolvedExternalMessage(const String& name, String* error);

using MachineExtensionsFactory = std::unique_ptr<MachineExtensions> (*)(
    PexoVM* machine, const ProgramContext& context);

}  // namespace pexo

#endif  // PEXO_VM_MACHINE_EXTENSIONS_H_
