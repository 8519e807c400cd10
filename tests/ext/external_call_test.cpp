// Resolving library functions by name and calling them with a parameter
// scope: first-registered-wins, letter case, registration failures, the
// binding checks, argument binding, result reuse and private data.
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ext/external_call.h"
#include "ext/external_call_manager.h"
#include "ext/external_function.h"
#include "fake_library.h"
#include "program/function.h"
#include "values/variable.h"
#include "values/variable_hash.h"

namespace pexo {
namespace {

Variable* Param(void* parameters, int32_t index) {
  return static_cast<VariableHash*>(parameters)->VariableAt(index, false);
}

void PickA(void*, void*, void* result, void**) { static_cast<Variable*>(result)->SetValue("A"); }
void PickB(void*, void*, void* result, void**) { static_cast<Variable*>(result)->SetValue("B"); }

// Echoes its only parameter, leaving the result untouched for an empty one.
void Echo(void*, void* parameters, void* result, void**) {
  Variable* text = Param(parameters, 0);
  if (text && !text->Value().empty()) static_cast<Variable*>(result)->SetValue_Variable(text);
}

// Assigns the second parameter to the first (by reference).
void Assign(void*, void* parameters, void* result, void**) {
  Param(parameters, 0)->SetValue_Variable(Param(parameters, 1));
  static_cast<Variable*>(result)->SetValue_Integer(1);
}

int shutdown_calls = 0;
int counter_value_at_shutdown = 0;

// Counts its calls in private data; the shutdown call frees it.
void Counter(void* program, void* parameters, void* result, void** data) {
  if (!program) {
    EXPECT_EQ(parameters, nullptr);
    EXPECT_EQ(result, nullptr);
    ++shutdown_calls;
    counter_value_at_shutdown = *static_cast<int*>(*data);
    std::free(*data);
    *data = nullptr;
    return;
  }
  if (!*data) *data = std::calloc(1, sizeof(int));
  int* count = static_cast<int*>(*data);
  static_cast<Variable*>(result)->SetValue_Integer(++*count);
}

const PexoParameterDescriptor kEchoParams[] = {{"text", 4, 0}};
const PexoParameterDescriptor kAssignParams[] = {{"target", 6, PEXO_PARAMETER_BY_REFERENCE},
                                                 {"value", 5, 0}};

const PexoFunctionDescriptor kFunctionsA[] = {
    {"Pick", 4, 0, nullptr, PickA},
    {"Echo", 4, 1, kEchoParams, Echo},
    {"Assign", 6, 2, kAssignParams, Assign},
    {"Counter", 7, 0, nullptr, Counter},
    {nullptr, 0, 0, nullptr, nullptr},
};
const PexoFunctionDescriptor kFunctionsB[] = {
    {"PICK", 4, 0, nullptr, PickB},
    {"OnlyB", 5, 0, nullptr, PickB},
    {"Pic", 3, 0, nullptr, PickB},
    {nullptr, 0, 0, nullptr, nullptr},
};
const PexoFunctionTable kTableA = {0, kFunctionsA};
const PexoFunctionTable kTableB = {0, kFunctionsB};
const PexoFunctionTable* TableA() { return &kTableA; }
const PexoFunctionTable* TableB() { return &kTableB; }
const PexoFunctionTable* NoTable() { return nullptr; }

// Arguments on a stack, last on top; constants cannot be passed by reference.
class StackArguments : public ExternalArguments {
 public:
  ~StackArguments() override {
    for (auto& entry : stack_) entry.variable->Release();
  }
  void PushVariable(Variable* variable) {
    variable->Retain();
    stack_.push_back({variable, false});
  }
  void PushConstant(const char* text) {
    Variable* v = new Variable();
    v->SetValue(text);
    stack_.push_back({v, true});
  }
  Variable* PopVariable(String* error) override {
    Entry top = stack_.back();
    if (top.constant) {
      error->clear();
      reported = true;
      return nullptr;
    }
    stack_.pop_back();
    return top.variable;
  }
  bool PopInto(Variable* target, String*) override {
    Entry top = stack_.back();
    stack_.pop_back();
    target->SetValue_Variable(top.variable);
    top.variable->Release();
    return true;
  }
  size_t size() const { return stack_.size(); }
  bool reported = false;

 private:
  struct Entry {
    Variable* variable;
    bool constant;
  };
  std::vector<Entry> stack_;
};

class ExternalCallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    libraries_.Add("liba.so", {{"pexo_function_table", AsSymbol(TableA)}});
    libraries_.Add("libb.so", {{"pexo_function_table", AsSymbol(TableB)}});
    libraries_.Add("nulltable.so", {{"pexo_function_table", AsSymbol(NoTable)}});
    libraries_.Add("plain.so", {});
  }

  // A declared external function with parameters (name, by reference) whose
  // locals are the entries of `scope_` in declaration order.
  Function* Declare(const char* name, std::vector<std::pair<const char*, bool>> parameters) {
    functions_.emplace_back(new Function(static_cast<int32_t>(functions_.size()), -1, name, -1,
                                         Function::kExternal, -1, -1, nullptr));
    Function* function = functions_.back().get();
    for (auto& p : parameters) {
      FunctionParameter parameter;
      parameter.name.assign(p.first);
      parameter.by_reference = p.second;
      parameter.local_index = scope_.InsertName(p.first, -1);
      function->mutable_parameters().push_back(parameter);
    }
    return function;
  }

  FakeLibraryManager libraries_;
  UserVariableHash scope_;
  std::vector<std::unique_ptr<Function>> functions_;
};

TEST_F(ExternalCallTest, FirstRegisteredLibraryWinsWhateverTheCase) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("libb.so"), 1);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  struct Case {
    const char* name;
    PexoExternalFunction expected;
  } cases[] = {{"pick", PickB}, {"Pick", PickB}, {"onlyb", PickB}, {"ECHO", Echo},
               {"Pic", PickB},  {"Counter", Counter}};
  for (const Case& c : cases) {
    ExternalCall* call = calls.Find(c.name, -1);
    ASSERT_NE(call, nullptr) << c.name;
    EXPECT_EQ(call->descriptor().function, c.expected) << c.name;
  }
  for (const char* missing : {"Pi", "Picks", "Echo2", ""})
    EXPECT_EQ(calls.Find(missing, -1), nullptr) << missing;
  // Same object for any spelling: resolved once, then cached.
  EXPECT_EQ(calls.Find("PICK", 4), calls.Find("pick", 4));
  // A counted name need not be terminated.
  EXPECT_EQ(calls.Find("EchoXYZ", 4), calls.Find("echo", -1));
}

TEST_F(ExternalCallTest, OrderOfRegistrationDecidesAndIsKept) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  ASSERT_EQ(calls.AddLibrary("libb.so"), 1);
  EXPECT_EQ(calls.Find("pick", -1)->descriptor().function, PickA);
  // Registering again changes nothing, the library is not listed twice.
  EXPECT_EQ(calls.AddLibrary("LIBB.so"), 1);
  EXPECT_EQ(calls.library_count(), 2);
  EXPECT_EQ(libraries_.opens(), 2);
}

TEST_F(ExternalCallTest, RegistrationFailuresKeepTheirTextAndLaterLibrariesRegister) {
  ExternalCallManager calls(&libraries_);
  String error;
  EXPECT_EQ(calls.AddLibrary("missing.so", &error), 0);
  EXPECT_STREQ(error.c_str(), "missing.so: cannot open shared object file");
  EXPECT_EQ(calls.AddLibrary("plain.so", &error), 0);
  EXPECT_STREQ(error.c_str(), "Unknown symbol 'pexo_function_table': no such export");
  EXPECT_STREQ(calls.ErrorText().c_str(), error.c_str());
  EXPECT_EQ(calls.AddLibrary("nulltable.so", &error), 0);
  EXPECT_STREQ(error.c_str(), "Unable to retrieve function descriptor table");
  EXPECT_EQ(calls.AddLibrary("liba.so", &error), 1);
  EXPECT_EQ(calls.library_count(), 1);
  EXPECT_NE(calls.Find("echo", -1), nullptr);
}

TEST_F(ExternalCallTest, BindingReportsUnknownNamesAndCountMismatch) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  String error;
  Function* unknown = Declare("NoSuchFunction", {});
  EXPECT_EQ(BindExternalFunction(&calls, unknown, &error), nullptr);
  EXPECT_STREQ(error.c_str(), "Unresolved call to external function 'NoSuchFunction'");
  EXPECT_EQ(unknown->binding(), nullptr);

  Function* short_assign = Declare("assign", {{"target", true}});
  EXPECT_EQ(BindExternalFunction(&calls, short_assign, &error), nullptr);
  EXPECT_STREQ(error.c_str(), "Number of parameters mismatch in call to external function");

  Function* echo = Declare("ECHO", {{"text", false}});
  ExternalCall* bound = BindExternalFunction(&calls, echo, &error);
  ASSERT_NE(bound, nullptr);
  EXPECT_EQ(echo->binding(), bound);
  // The binding is used from now on, even without a manager.
  EXPECT_EQ(BindExternalFunction(nullptr, echo, &error), bound);
}

TEST_F(ExternalCallTest, ByReferenceFlagsMustMatchTheDeclaration) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  // The library says (reference, value); this declaration says (value, value).
  Function* assign = Declare("Assign", {{"target", false}, {"value", false}});
  StackArguments arguments;
  arguments.PushConstant("x");
  arguments.PushConstant("y");
  Variable* result = nullptr;
  String error;
  EXPECT_EQ(CallExternalFunction(&calls, assign, this, &scope_, &arguments, &result, &error), 0);
  EXPECT_STREQ(error.c_str(), "Parameter type mismatch in call to external function");
  EXPECT_EQ(result, nullptr);
  // The last parameter matched and was taken; the first stays with the caller.
  EXPECT_EQ(arguments.size(), 1u);
  EXPECT_EQ(scope_.VariableAt(1, false), nullptr);

  Function* echo_by_reference = Declare("Echo", {{"text", true}});
  Variable* caller = new Variable();
  arguments.PushVariable(caller);
  EXPECT_EQ(
      CallExternalFunction(&calls, echo_by_reference, this, &scope_, &arguments, &result, &error),
      0);
  EXPECT_STREQ(error.c_str(), "Parameter type mismatch in call to external function");
  caller->Release();
}

TEST_F(ExternalCallTest, ArgumentsAreBoundByValueAndByReference) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  Function* assign = Declare("assign", {{"target", true}, {"value", false}});
  Variable* target = new Variable("target");
  target->SetValue("old");
  StackArguments arguments;
  arguments.PushVariable(target);
  arguments.PushConstant("new");
  Variable* result = nullptr;
  String error;
  ASSERT_EQ(CallExternalFunction(&calls, assign, this, &scope_, &arguments, &result, &error), 1)
      << error.c_str();
  EXPECT_STREQ(target->Value().c_str(), "new");
  EXPECT_EQ(result->Value_Integer(), 1);
  EXPECT_EQ(arguments.size(), 0u);
  // The scope lets go of every parameter: only the caller holds `target`.
  EXPECT_EQ(scope_.VariableAt(0, false), nullptr);
  EXPECT_EQ(scope_.VariableAt(1, false), nullptr);
  EXPECT_EQ(target->RefCount(), 1);
  result->Release();
  target->Release();
}

TEST_F(ExternalCallTest, ConstantForReferenceParameterIsLeftToTheSource) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  Function* assign = Declare("assign", {{"target", true}, {"value", false}});
  StackArguments arguments;
  arguments.PushConstant("not a variable");
  arguments.PushConstant("v");
  Variable* result = nullptr;
  String error("stale");
  EXPECT_EQ(CallExternalFunction(&calls, assign, this, &scope_, &arguments, &result, &error), 0);
  EXPECT_TRUE(arguments.reported);
  EXPECT_TRUE(error.empty());
  EXPECT_EQ(scope_.VariableAt(1, false), nullptr);  // released on the way out
}

TEST_F(ExternalCallTest, ParameterOutsideTheScopeIsAnInvalidReference) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  Function* echo = Declare("echo", {{"text", false}});
  echo->mutable_parameters()[0].local_index = 99;
  StackArguments arguments;
  arguments.PushConstant("x");
  Variable* result = nullptr;
  String error;
  EXPECT_EQ(CallExternalFunction(&calls, echo, this, &scope_, &arguments, &result, &error), 0);
  EXPECT_STREQ(error.c_str(), "Invalid parameter reference");
}

Variable* CallEcho(ExternalCall* call, UserVariableHash* scope, const char* text) {
  scope->VariableAt(0, true)->SetValue(text);
  Variable* result = call->Invoke(nullptr, scope);
  scope->ReleaseVariables();
  return result;
}

TEST_F(ExternalCallTest, ResultVariableIsReusedOnlyWhenTheCallerLetItGo) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  ExternalCall* echo = calls.Find("echo", -1);
  scope_.InsertName("text", -1);

  Variable* first = CallEcho(echo, &scope_, "one");
  EXPECT_STREQ(first->Value().c_str(), "one");
  EXPECT_EQ(first->RefCount(), 2);  // the caller's and the call's own
  // Kept by the caller: the next call must not touch it.
  Variable* second = CallEcho(echo, &scope_, "two");
  EXPECT_NE(second, first);
  EXPECT_STREQ(first->Value().c_str(), "one");
  EXPECT_EQ(first->RefCount(), 1);
  first->Release();
  // Let go: reused, and emptied before the function sees it.
  second->Release();
  Variable* third = CallEcho(echo, &scope_, "");
  EXPECT_EQ(third, second);
  EXPECT_TRUE(third->Value().empty());
  third->Release();
}

TEST_F(ExternalCallTest, PrivateDataSurvivesCallsAndIsFreedByTheShutdownCall) {
  shutdown_calls = 0;
  {
    ExternalCallManager calls(&libraries_);
    ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
    ExternalCall* counter = calls.Find("counter", -1);
    for (int i = 1; i <= 3; ++i) {
      Variable* result = counter->Invoke(this, nullptr);
      EXPECT_EQ(result->Value_Integer(), i);
      result->Release();
    }
    EXPECT_NE(counter->data(), nullptr);
    // A function that never set its data gets no shutdown call.
    Variable* result = calls.Find("pick", -1)->Invoke(this, nullptr);
    result->Release();
    EXPECT_EQ(shutdown_calls, 0);
  }
  EXPECT_EQ(shutdown_calls, 1);
  EXPECT_EQ(counter_value_at_shutdown, 3);
}

TEST_F(ExternalCallTest, EachThreadGetsItsOwnResultVariable) {
  ExternalCallManager calls(&libraries_);
  ASSERT_EQ(calls.AddLibrary("liba.so"), 1);
  ExternalCall* pick = calls.Find("pick", -1);
  Variable* kept[2] = {nullptr, nullptr};
  auto run = [&](int slot) {
    for (int i = 0; i < 200; ++i) {
      Variable* result = pick->Invoke(nullptr, nullptr);
      if (std::strcmp(result->Value().c_str(), "A") != 0) ADD_FAILURE() << "wrong result";
      if (i == 199) {
        kept[slot] = result;  // still held by the call as well
      } else {
        result->Release();
      }
    }
  };
  std::thread first(run, 0);
  std::thread second(run, 1);
  first.join();
  second.join();
  ASSERT_NE(kept[0], nullptr);
  EXPECT_NE(kept[0], kept[1]);
  EXPECT_EQ(kept[0]->RefCount(), 2);
  kept[0]->Release();
  kept[1]->Release();
}

int destroyed_data = 0;
void DestroyData(void* program, void* data) {
  EXPECT_EQ(program, nullptr);
  destroyed_data += *static_cast<int*>(data);
  delete static_cast<int*>(data);
}

TEST_F(ExternalCallTest, PersistentEntriesAreReplacedAndDestroyed) {
  destroyed_data = 0;
  {
    ExternalCallManager calls(&libraries_);
    EXPECT_EQ(calls.LookupPersistent("session", -1), nullptr);
    int* first = new int(1);
    EXPECT_EQ(calls.RegisterPersistent("Session", -1, first, DestroyData), 1);
    EXPECT_EQ(calls.LookupPersistent("SESSION", -1), first);
    int* second = new int(10);
    EXPECT_EQ(calls.RegisterPersistent("session", -1, second, DestroyData), 1);
    EXPECT_EQ(destroyed_data, 1);
    EXPECT_EQ(calls.LookupPersistent("session", 7), second);
    // Without a destructor the engine allocator frees it (checked by ASan).
    EXPECT_EQ(calls.RegisterPersistent("plain", -1, std::malloc(16), nullptr), 1);
  }
  EXPECT_EQ(destroyed_data, 11);
}

}  // namespace
}  // namespace pexo
