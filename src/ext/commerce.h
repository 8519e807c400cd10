// Commerce: one active PxCOMMERCE loop, a service of kind 4 on its machine.
//
// op_commerce pops the field text, the second text and the method name,
// finds the method's library (loading it on first use), calls init and then
// the first loop call; while loop answers 0 the body runs, and
// op_commerce_loop at the body's end asks again. 1 from loop is a failure
// whose text (the library's error function) is kept in PxCOMMERCE_Error;
// any other answer ends the loop. op_commerce_stop ends the innermost loop
// early. Destroying the service calls the library's cleanup once, however
// the loop ended (its end, a stop, a function return, the end of the run).
//
// Every library call receives the program handle, the address of the tag's
// own state word, the method name, the second text and the field list
// (a list of references to the variables the field text names); init and
// loop also the global variables, loop the pass number (0, 1, ...).
#ifndef PEXO_EXT_COMMERCE_H_
#define PEXO_EXT_COMMERCE_H_

#include <cstdint>

#include "values/string.h"
#include "values/variable_list.h"
#include "vm/feature.h"

namespace pexo {

struct CommerceLibrary;
class CommerceLibraryManager;
class TagInstructionTable;

class Commerce : public Feature {
 public:
  Commerce(PexoVM* vm, const String& method, const String& second);
  ~Commerce() override;

  // Builds the field list, finds the library and calls init; 0 with
  // ErrorText() set when any of them fails.
  int Start() override;
  void set_fields_text(const char* text, int32_t length) { fields_text_.assign(text, length); }
  void set_manager(CommerceLibraryManager* manager) { manager_ = manager; }
  // One loop call: true when the body runs again. A failure leaves the
  // library's text in ErrorText() and `failed` true.
  bool NextPass(bool* failed);
  int32_t passes() const { return passes_; }

 private:
  const char* LibraryError();

  CommerceLibraryManager* manager_ = nullptr;
  CommerceLibrary* library_ = nullptr;
  String method_;
  String second_;
  String fields_text_;
  VariableList fields_;
  void* state_ = nullptr;  // the library's, one per tag
  int32_t passes_ = 0;
};

void RegisterCommerceInstructions(TagInstructionTable* table);

}  // namespace pexo

#endif  // PEXO_EXT_COMMERCE_H_
