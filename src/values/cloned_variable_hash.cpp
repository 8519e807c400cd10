#include "values/cloned_variable_hash.h"

#include "values/dictionary.h"
#include "values/system_variable_hash.h"

namespace pexo {

ClonedVariableHash::ClonedVariableHash(const VariableHash& source, Dictionary* names,
                                       VariableHash* target, bool same_layout)
    : ReferenceVariableHash(source, names, target) {
  for (int32_t i = 0; i < Entries(); ++i) set_marker(i, same_layout ? i : -1);
}

ClonedVariableHash::~ClonedVariableHash() { delete target_; }

namespace {

template <typename Table>
VariableHash* CopyWithOwnNames(VariableHash* underlying, bool copy_variables) {
  Dictionary* names = underlying->names() ? new Dictionary(*underlying->names()) : nullptr;
  auto* copy = new Table(*underlying, names, names != nullptr, copy_variables);
  if (!copy->ok()) {
    delete copy;
    return nullptr;
  }
  return copy;
}

VariableHash* Forward(VariableHash* source, Dictionary* names, VariableHash* target,
                      bool same_layout) {
  if (!target) return nullptr;
  auto* clone = new ClonedVariableHash(*source, names, target, same_layout);
  if (!clone->ok()) {
    delete clone;
    return nullptr;
  }
  return clone;
}

}  // namespace

VariableHash* CloneVariableHash(VariableHash* source, Dictionary* names, bool copy_variables) {
  VariableHash* underlying = source->Underlying();
  if (auto* system = dynamic_cast<SystemVariableHash*>(underlying)) {
    // The copy reads the entries directly and has no source of its own.
    if (copy_variables) system->MakeDeferredVariables();
    if (source == underlying) {
      auto* copy = new SystemVariableHash(*underlying, names, false, copy_variables);
      if (!copy->ok()) {
        delete copy;
        return nullptr;
      }
      return Forward(source, names, copy, true);
    }
    return Forward(source, names, CopyWithOwnNames<SystemVariableHash>(underlying, copy_variables),
                   false);
  }
  if (source == underlying) {
    auto* copy = new VariableHash(*source, names, false, copy_variables);
    if (!copy->ok()) {
      delete copy;
      return nullptr;
    }
    return copy;
  }
  return Forward(source, names, CopyWithOwnNames<VariableHash>(underlying, copy_variables), false);
}

}  // namespace pexo
