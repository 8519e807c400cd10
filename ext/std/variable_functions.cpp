#include "variable_functions.h"

#include <cstdlib>
#include <string>

namespace pexo {
namespace stdlib {
namespace {

bool HasPrefix(std::string_view name, const char* prefix) {
  return name.size() > 2 && (name[0] == prefix[0] || name[0] == prefix[0] - 32) &&
         name[1] == '.';
}

PexoVariable* FindIn(PexoVariableHash* scope, std::string_view name) {
  if (!scope) return nullptr;
  return pxVariableHash_Find(scope, name.data(), static_cast<int32_t>(name.size()));
}

PexoVariable* FindLocal(PexoProgram* program, std::string_view name) {
  PexoVariableList* locals = pxVariableList_Allocate();
  if (!locals) return nullptr;
  PexoVariable* found = nullptr;
  if (pxProgram_Local_Variables(program, locals))
    found = pxVariableList_Find(locals, name.data(), static_cast<int32_t>(name.size()));
  if (found) found = pxVariable_RealIdentity(found);  // still held by the scope
  pxVariableList_Free(locals);
  return found;
}

// The variable a bare or scope-prefixed name stands for, looked up the way
// the language resolves names but never creating one (a lookup through the
// engine's resolver would make an unknown name a new global).
PexoVariable* FindBase(PexoProgram* program, std::string_view name) {
  if (HasPrefix(name, "s")) return FindIn(pxProgram_System_VariableHash(program), name.substr(2));
  if (HasPrefix(name, "g")) return FindIn(pxProgram_Global_VariableHash(program), name.substr(2));
  if (HasPrefix(name, "l")) return FindLocal(program, name.substr(2));
  if (PexoVariable* found = FindIn(pxProgram_System_VariableHash(program), name)) return found;
  if (PexoVariable* found = FindLocal(program, name)) return found;
  return FindIn(pxProgram_Global_VariableHash(program), name);
}

}  // namespace

void Type(StdCall& call) {
  static const char* const kNames[] = {"none", "integer", "decimal", "text", "structure", "array"};
  int type = pxVariable_Type(call.Arg(0));
  call.ReturnText(type >= 0 && type <= 5 ? kNames[type] : "unknown");
}

void IsEmpty(StdCall& call) {
  PexoVariable* value = call.Arg(0);
  if (pxVariable_Aggregate_Type(value) > PX_AGGREGATE_SCALAR)
    call.ReturnBoolean(pxVariable_ElementsUsed(value) == 0);
  else
    call.ReturnBoolean(pxVariable_IsNULL(value) != 0);
}

void IsDefined(StdCall& call) {
  std::string_view name = call.Text(0);
  if (name.empty()) {
    call.ReturnBoolean(false);
    return;
  }
  // The base name, then ".member" and "[index]" steps, none of them created.
  size_t prefix = HasPrefix(name, "s") || HasPrefix(name, "g") || HasPrefix(name, "l") ? 2 : 0;
  size_t end = name.find_first_of(".[", prefix);
  PexoVariable* found = FindBase(call.program(), name.substr(0, end));
  while (found && end != std::string_view::npos) {
    if (name[end] == '.') {
      size_t next = name.find_first_of(".[", end + 1);
      std::string_view member = name.substr(end + 1, next == std::string_view::npos
                                                         ? std::string_view::npos
                                                         : next - end - 1);
      found = member.empty() ? nullptr
                             : pxVariable_Struct_Member(member.data(),
                                                        static_cast<int32_t>(member.size()),
                                                        found, 0);
      end = next;
    } else {
      size_t close = name.find(']', end);
      if (close == std::string_view::npos) {
        found = nullptr;
        break;
      }
      std::string index(name.substr(end + 1, close - end - 1));
      char* stop = nullptr;
      long value = std::strtol(index.c_str(), &stop, 10);
      found = index.empty() || *stop ? nullptr
                                     : pxVariable_Array_Element(static_cast<int32_t>(value),
                                                                found, 0);
      end = close + 1 < name.size() ? close + 1 : std::string_view::npos;
      if (end != std::string_view::npos && name[end] != '.' && name[end] != '[') found = nullptr;
    }
  }
  call.ReturnBoolean(found != nullptr);
}

}  // namespace stdlib
}  // namespace pexo
