#include "vm/localized_instructions.h"

#include <vector>

#include "l10n/localized_tables.h"
#include "l10n/localizer.h"
#include "values/dictionary.h"
#include "vm/error_table.h"
#include "vm/machine_host.h"
#include "vm/pexo_vm.h"
#include "vm/vm_stack.h"

namespace pexo {

namespace {

Localizer* LocalizerOf(PexoVM* vm, int32_t tag) {
  Localizer* localizer = vm->context().localizer;
  if (!localizer) vm->runtime_error(tag, "Localized texts are not available in this program");
  return localizer;
}

// Hands each piece's text of key `key` to `sink`; false when the walk hit
// a fault (reported). A key neither language has yields nothing.
template <typename Sink>
bool Walk(PexoVM* vm, Localizer* localizer, int32_t key, int32_t tag, Sink sink) {
  const Dictionary& dictionary = *localizer->dictionary();
  int32_t length = 0;
  if (!dictionary.get(key, &length)) {
    vm->fatal_error("Invalid dictionary reference");
    return false;
  }
  int32_t piece = -1;
  String error;
  if (!localizer->Lookup(key, &piece, &error)) {
    vm->runtime_error(tag, error.c_str());  // a language's index failed to load
    return false;
  }
  const std::vector<LocalizedPiece>& pieces = localizer->tables()->pieces();
  // A chain longer than the pieces has a loop.
  for (size_t steps = 0; piece != -1; ++steps) {
    if (piece < 0 || static_cast<size_t>(piece) >= pieces.size() || steps >= pieces.size()) {
      vm->fatal_error("Invalid localized dictionary ID reference");
      return false;
    }
    const LocalizedPiece& entry = pieces[static_cast<size_t>(piece)];
    const char* text = dictionary.get(entry.text, &length);
    if (!text) {
      vm->fatal_error("Invalid dictionary reference");
      return false;
    }
    if (entry.type == LocalizedPiece::kText) {
      sink(text, length);
    } else if (const String* token = localizer->Token(text, length)) {
      sink(token->data(), token->length());
    }
    piece = entry.next;
  }
  return true;
}

void OpPopToken(PexoVM* vm, const TagOperands& operands) {
  PoppedText value;
  vm->stack()->pop_string(&value);
  if (vm->fatal()) return;
  Localizer* localizer = LocalizerOf(vm, kTagPxLOCALIZED_TOKEN);
  if (!localizer) return;
  int32_t length = 0;
  const char* name = localizer->dictionary()->get(operands.first, &length);
  if (!name) {
    vm->fatal_error("Invalid dictionary reference");
    return;
  }
  localizer->AddToken(name, length, value.bytes, value.length);
}

void OpLocalize(PexoVM* vm, const TagOperands& operands) {
  Localizer* localizer = LocalizerOf(vm, kTagPxLOCALIZED);
  if (!localizer) return;
  PexoApplication* host = vm->application();
  Walk(vm, localizer, operands.first, kTagPxLOCALIZED,
       [host](const char* text, int32_t length) { host->Write(text, length); });
  localizer->ClearTokens();
}

void OpLocalizeText(PexoVM* vm, const TagOperands& operands) {
  Localizer* localizer = LocalizerOf(vm, kTagPxLOCALIZED_TEXT);
  String text;
  if (localizer) {
    Walk(vm, localizer, operands.first, kTagPxLOCALIZED_TEXT,
         [&text](const char* bytes, int32_t length) { text.append(bytes, length); });
    localizer->ClearTokens();
  }
  vm->stack()->push_copy(text.c_str(), text.length());
}

}  // namespace

void RegisterLocalizedInstructions(TagInstructionTable* table) {
  table->Set(0x404D, OpPopToken);
  table->Set(0x404E, OpLocalize);
  table->Set(0x404F, OpLocalizeText);
}

}  // namespace pexo
