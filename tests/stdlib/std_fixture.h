// Loads the built standard library through the engine's library manager and
// calls its functions the way the machine does: a declared external
// function, arguments popped from a stack into the parameter scope, and the
// result variable the call hands back.
#ifndef PEXO_TESTS_STDLIB_STD_FIXTURE_H_
#define PEXO_TESTS_STDLIB_STD_FIXTURE_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "api/api_context.h"
#include "ext/external_call_manager.h"
#include "ext/posix_external_library_manager.h"
#include "program/function.h"
#include "support/fake_host.h"
#include "values/variable.h"
#include "values/variable_hash.h"

// The built library; the build puts it at the top of the build tree.
#define PEXO_STD_LIBRARY PEXO_BINARY_DIR "/tools/libpexostd.so"

namespace pexo {

class StdContext : public ApiContext {
 public:
  explicit StdContext(PexoApplication* application) : ApiContext(application, nullptr, nullptr) {}
  VariableHash* GlobalScope() override { return &globals; }
  VariableHash* SystemScope() override { return &system; }

  UserVariableHash globals;
  UserVariableHash system;
};

// An argument: a variable the test owns until the call takes it.
Variable* Text(const char* text);
Variable* Integer(int32_t value);
Variable* Decimal(const char* text);
Variable* Array(const std::vector<const char*>& texts);
Variable* Struct(const std::vector<std::pair<const char*, const char*>>& members);

// The value as the tests compare it: scalars as their text, arrays as
// "[1=a,2=b]", structures as "{k=v}", nested the same way.
std::string Render(Variable* variable);

class StdLibraryTest : public ::testing::Test {
 protected:
  StdLibraryTest();
  ~StdLibraryTest() override;

  // Calls `name` with the arguments (ownership taken); the result with one
  // reference, or null when the call could not be made (then ADD_FAILURE).
  Variable* Call(const char* name, std::vector<Variable*> arguments);
  // Render() of the result; "ERROR: <message>" when the function raised one.
  std::string Run(const char* name, std::vector<Variable*> arguments);

  FakeHost app_;
  StdContext context_{&app_};
  PosixExternalLibraryManager libraries_;
  std::unique_ptr<ExternalCallManager> calls_;
  std::vector<std::unique_ptr<Function>> functions_;
};

}  // namespace pexo

#endif  // PEXO_TESTS_STDLIB_STD_FIXTURE_H_
