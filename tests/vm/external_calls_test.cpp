// Library functions called from assembled programs through a real loaded
// library: argument binding, results, the failures of the external path,
// private data at shutdown, and a library that calls back into the program.
#include <dlfcn.h>

#include <memory>
#include <string>

#include "api/api_context.h"
#include "ext/external_call_manager.h"
#include "ext/posix_external_library_manager.h"
#include "program/function.h"
#include "program/function_manager.h"
#include "program/segment.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

const char kLibrary[] = PEXO_TEST_LIB_DIR "/vmcalls.so";

// A loader and a call manager with the test library registered.
struct Libraries {
  Libraries() {
    ApiExportCount();  // keeps the engine's API linked for the library
    added = calls->AddLibrary(kLibrary, &error);
  }
  ~Libraries() {
    calls.reset();  // before the libraries are unloaded
  }
  PosixExternalLibraryManager loader;
  std::unique_ptr<ExternalCallManager> calls{new ExternalCallManager(&loader)};
  int added = 0;
  String error;
};

const char kDeclarations[] =
    ".extern join(a, b)\n"
    ".extern bump(var n, step)\n"
    ".extern tally()\n"
    ".extern callback()\n"
    ".extern run(name, arg)\n"
    ".extern peek(name)\n"
    ".extern alias(a, b)\n"
    ".extern grab(a, b)\n"
    ".extern nest(a, b)\n";

class ExternalCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(libraries_.added, 1) << libraries_.error.c_str();
    m_.calls = libraries_.calls.get();
  }
  int Run(const std::string& body) { return m_.Run(kDeclarations + body); }
  std::string Fatal() { return m_.app.fatal.empty() ? "" : m_.app.fatal.back(); }
  // The message at the end of the last fatal report.
  bool FatalEndsWith(const std::string& message) {
    std::string text = Fatal();
    std::string tail = ": " + message + "\n";
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  }

  Libraries libraries_;
  Machine m_;
};

TEST_F(ExternalCalls, ByValueAndByReferenceArguments) {
  ASSERT_EQ(Run(".global s, n, r\n.segment main start\n"
                " pushc \"ab\"\n pushc \"cd\"\n call join\n popg s\n"
                " pushi 5\n popg n\n pushg n\n pushi 3\n call bump\n popg r\n"
                " pushg n\n pushi 4\n call bump\n pop\n"),
            1)
      << Fatal();
  EXPECT_EQ(m_.Global("s"), "abcd");
  EXPECT_EQ(m_.Global("r"), "8");
  EXPECT_EQ(m_.Global("n"), "12");
  EXPECT_EQ(m_.vm->stack()->depth(), 0);
}

TEST_F(ExternalCalls, ResultKeptByTheCallerIsNotReused) {
  // Both results sit on the stack before they are joined: a reused result
  // variable would show "22".
  ASSERT_EQ(Run(".global t\n.segment main start\n call tally\n call tally\n cat\n popg t\n"), 1)
      << Fatal();
  EXPECT_EQ(m_.Global("t"), "12");
}

TEST_F(ExternalCalls, ParameterVariablesStartFreshOnEveryCall) {
  // Arguments of every kind into the same parameters, call after call; and
  // a parameter variable the library kept (g, h refer to them) is never
  // handed to a later call, which would overwrite g.
  ASSERT_EQ(Run(".global t, s1, s2, s3, g, h, ok\n.segment main start\n"
                " pushc \"xy\"\n popg t\n"
                " pushi 12\n pushg t\n call join\n popg s1\n"
                " pushg t\n pushi 3\n pushi 4\n add\n call join\n popg s2\n"
                " pushc \"a\"\n pushc \"b\"\n call join\n pushc \"c\"\n call join\n popg s3\n"
                " pushc \"g\"\n pushc \"first\"\n call alias\n popg ok\n"
                " pushc \"h\"\n pushc \"second\"\n call alias\n pop\n"
                " pushc \"x\"\n pushc \"y\"\n call join\n pop\n"),
            1)
      << Fatal();
  EXPECT_EQ(m_.Global("s1"), "12xy");
  EXPECT_EQ(m_.Global("s2"), "xy7");
  EXPECT_EQ(m_.Global("s3"), "abc");
  EXPECT_EQ(m_.Global("ok"), "1");
  EXPECT_EQ(m_.Global("g"), "first");
  EXPECT_EQ(m_.Global("h"), "second");
  EXPECT_EQ(m_.Global("t"), "xy");
}

TEST_F(ExternalCalls, ParameterVariablesALibraryTurnedOrIsStillUsingServeNoOtherCall) {
  // grab leaves its parameter b an alias of a global: the next call's
  // argument must not be copied through it. nest's own parameters must
  // survive the nested call of nest its script function makes.
  ASSERT_EQ(Run(".global g, h, r1, r2, r4\n.segment main start\n"
                " pushc \"G\"\n popg g\n pushc \"H\"\n popg h\n"
                " pushc \"g\"\n pushc \"one\"\n call grab\n popg r1\n"
                " pushc \"h\"\n pushc \"two\"\n call grab\n popg r2\n"
                " pushc \"outer_fn\"\n pushc \"outer\"\n call nest\n popg r4\n"
                ".segment lib\n"
                ".function outer_fn(n)\n pushc \"inner_fn\"\n pushc \"inner\"\n call nest\n ret\n"
                ".end\n"
                ".function inner_fn(n)\n pushl n\n ret\n.end\n"),
            1)
      << Fatal();
  EXPECT_EQ(m_.Global("g"), "G");
  EXPECT_EQ(m_.Global("h"), "H");
  EXPECT_EQ(m_.Global("r1"), "G");
  EXPECT_EQ(m_.Global("r2"), "H");
  EXPECT_EQ(m_.Global("r4"), "inner/inner/outer");
}

TEST_F(ExternalCalls, FailuresStopTheRunWithTheirMessage) {
  struct Case {
    const char* program;
    const char* message;
  } cases[] = {
      {".extern join(a)\n.segment main start\n pushi 1\n call join\n",
       "Number of parameters mismatch in call to external function"},
      {".extern bump(n, step)\n.segment main start\n pushi 1\n pushi 2\n call bump\n",
       "Parameter type mismatch in call to external function"},
      {".extern NoSuchFunction()\n.segment main start\n call NoSuchFunction\n",
       "Unresolved call to external function 'NoSuchFunction'"},
      {".extern bump(var n, step)\n.segment main start\n pushc \"x\"\n pushi 1\n call bump\n",
       "Expected variable, found constant"},
  };
  for (const Case& c : cases) {
    Machine m;
    m.calls = libraries_.calls.get();
    EXPECT_EQ(m.Run(std::string(c.program) + " pushc \"after\"\n out\n"), 0) << c.program;
    EXPECT_EQ(m.app.output, "") << c.program;
    ASSERT_EQ(m.app.fatal.size(), 1u) << c.program;
    EXPECT_NE(m.app.fatal[0].find(std::string(": ") + c.message + "\n"), std::string::npos)
        << m.app.fatal[0];
  }
}

TEST_F(ExternalCalls, NamesResolveWithoutRegardToCaseAndWithoutAManagerNothingBinds) {
  ASSERT_EQ(m_.Run(".extern JOIN(a, b)\n.global s\n.segment main start\n"
                   " pushc \"x\"\n pushc \"y\"\n call JOIN\n popg s\n"),
            1)
      << Fatal();
  EXPECT_EQ(m_.Global("s"), "xy");

  Machine bare;
  EXPECT_EQ(bare.Run(".extern join(a, b)\n.segment main start\n pushi 1\n pushi 2\n call join\n"),
            0);
  ASSERT_EQ(bare.app.fatal.size(), 1u);
  EXPECT_NE(bare.app.fatal[0].find("Unresolved call to external function 'join'"),
            std::string::npos);
}

// A host that gives the machine no extensions: a registered library is out
// of reach, the call fails as unresolved and there is no program handle.
TEST_F(ExternalCalls, WithoutExtensionsNothingBindsAndThereIsNoHandle) {
  Machine m;
  m.calls = libraries_.calls.get();
  m.extensions = nullptr;
  EXPECT_EQ(m.Run(".extern join(a, b)\n.segment main start\n pushi 1\n pushi 2\n call join\n"), 0);
  ASSERT_EQ(m.app.fatal.size(), 1u);
  EXPECT_NE(m.app.fatal[0].find("Unresolved call to external function 'join'"), std::string::npos)
      << m.app.fatal[0];
  EXPECT_EQ(m.vm->api_context(), nullptr);
}

TEST_F(ExternalCalls, TraceEventsOfALibraryCall) {
  m_.app.debug_level = 0x00000F00;
  ASSERT_EQ(Run(".global s\n.segment main start\n lineno 3\n"
                " pushc \"ab\"\n pushc \"cd\"\n call join\n popg s\n"),
            1);
  ASSERT_EQ(m_.app.events.size(), 5u);
  EXPECT_EQ(m_.app.events[0], "External Function Call|:3|join");
  EXPECT_EQ(m_.app.events[1], "External Function Parameter|:3|join|b=cd");
  EXPECT_EQ(m_.app.events[2], "External Function Parameter|:3|join|a=ab");
  EXPECT_EQ(m_.app.events[3], "External Function Return Value|:3|join=abcd");
  EXPECT_EQ(m_.app.events[4], "External Function Return|:3|join");
}

TEST_F(ExternalCalls, LibraryCallsBackIntoTheProgram) {
  ASSERT_EQ(Run(".global counter, via_function, via_expression, via_truth, compile_error, r\n"
                ".segment main start\n"
                " pushi 0\n popg counter\n call callback\n popg r\n"
                ".segment lib\n.function twice(n)\n pushl n\n pushi 2\n mul\n ret\n.end\n"),
            1)
      << Fatal();
  EXPECT_EQ(m_.Global("r"), "done");
  EXPECT_EQ(m_.Global("counter"), "1");
  EXPECT_EQ(m_.app.output, "[from library]");
  EXPECT_EQ(m_.Global("via_function"), "42");
  EXPECT_EQ(m_.Global("via_expression"), "11");
  EXPECT_EQ(m_.Global("via_truth"), "1");
  EXPECT_EQ(m_.Global("compile_error"), "Mismatched Parentheses in Expression");
  EXPECT_EQ(m_.vm->stack()->depth(), 0);
}

TEST_F(ExternalCalls, RunFunctionFromALibrary) {
  ASSERT_EQ(Run(".global a, b, c, d\n.segment main start\n"
                " pushc \"twice\"\n pushi 4\n call run\n popg a\n"
                " pushc \"missing\"\n pushi 4\n call run\n popg b\n"
                " pushc \"join\"\n pushi 4\n call run\n popg c\n"
                " pushc \"peek\"\n pushc \"a\"\n call run\n popg d\n"
                ".segment lib\n.function twice(n)\n pushl n\n pushi 2\n mul\n ret\n.end\n"),
            1)
      << Fatal();
  EXPECT_EQ(m_.Global("a"), "8");
  EXPECT_EQ(m_.Global("b"), "failed");  // no such function
  EXPECT_EQ(m_.Global("c"), "failed");  // join takes two parameters
  EXPECT_EQ(m_.Global("d"), "8");       // a library function run by name
}

TEST_F(ExternalCalls, LibrarySeesTheCallersLocals) {
  ASSERT_EQ(Run(".global inside, outside\n.segment main start\n"
                " pushc \"x\"\n call peek\n popg outside\n"
                " pushi 7\n call f\n popg inside\n"
                ".segment lib\n.function f(x)\n pushc \"l.x\"\n call peek\n ret\n.end\n"),
            1)
      << Fatal();
  EXPECT_EQ(m_.Global("inside"), "7");
  EXPECT_EQ(m_.Global("outside"), "");  // an unknown name becomes an empty global
}

TEST_F(ExternalCalls, ExpressionsCompiledForExtensionsEnterLibraryFunctions) {
  ASSERT_TRUE(m_.Load(std::string(".global g\n.segment main start\n")));
  ApiContext* api = m_.vm->api_context();
  FunctionManager& functions = m_.script.image().functions();
  const int32_t before = functions.count();
  String error;
  void* code = api->CompileExpression("join('a', 'b') $ join(g, 'c')", -1, &error);
  ASSERT_NE(code, nullptr) << error.c_str();
  EXPECT_EQ(functions.count(), before + 1);
  Function* join = functions.find("join", 4);
  ASSERT_NE(join, nullptr);
  EXPECT_TRUE(join->is_external());
  Variable result;
  ASSERT_EQ(api->ExecuteExpression(code, nullptr, &result), 1) << m_.LastError();
  EXPECT_EQ(std::string(result.Value().c_str()), "abc");

  // A given scope is the expression's local scope.
  UserVariableHash scope;
  scope.SetVariable("g", -1, "G", -1);
  ASSERT_EQ(api->ExecuteExpression(code, &scope, &result), 1);
  EXPECT_EQ(std::string(result.Value().c_str()), "abGc");
  int truth = -1;
  ASSERT_EQ(api->ExecuteExpressionTruth(code, &scope, &truth), 1);
  EXPECT_EQ(truth, 1);

  EXPECT_NE(api->LookupExternalFunction("BUMP", 4), nullptr);
  EXPECT_EQ(functions.count(), before + 2);
  EXPECT_EQ(api->LookupExternalFunction("nothing", 7), nullptr);
  EXPECT_EQ(api->CompileExpression("nothing(1)", -1, &error), nullptr);
  EXPECT_EQ(std::string(error.c_str()), "Unable to find function 'nothing'");
}

TEST(ExternalShutdown, PrivateDataIsFreedOnceWhenTheManagerGoes) {
  // Our own handle keeps the library mapped after the loader lets it go.
  void* handle = dlopen(kLibrary, RTLD_NOW);
  ASSERT_NE(handle, nullptr) << dlerror();
  auto shutdowns = reinterpret_cast<int (*)()>(dlsym(handle, "vmcalls_shutdowns"));
  auto tally = reinterpret_cast<int (*)()>(dlsym(handle, "vmcalls_tally_at_shutdown"));
  ASSERT_TRUE(shutdowns && tally);
  const int before = shutdowns();
  {
    Libraries libraries;
    ASSERT_EQ(libraries.added, 1);
    Machine m;
    m.calls = libraries.calls.get();
    ASSERT_EQ(m.Run(".extern tally()\n.global t\n.segment main start\n"
                    " call tally\n pop\n call tally\n pop\n call tally\n popg t\n"),
              1);
    EXPECT_EQ(m.Global("t"), "3");
    EXPECT_EQ(shutdowns(), before);  // nothing freed while the manager lives
  }
  EXPECT_EQ(shutdowns(), before + 1);
  EXPECT_EQ(tally(), 3);  // called with null program, parameters and result
  dlclose(handle);
}

TEST(MachineLimits, StepAndCallDepthLimitsStopTheRun) {
  Machine loop;
  ASSERT_TRUE(loop.Load(".segment main start\nagain:\n jmp again\n"));
  loop.vm->set_step_limit(1000);
  EXPECT_EQ(loop.vm->run_program(), 0);
  ASSERT_EQ(loop.app.fatal.size(), 1u);
  EXPECT_NE(loop.app.fatal[0].find(": Instruction limit reached\n"), std::string::npos);

  Machine deep;
  ASSERT_TRUE(deep.Load(".segment main start\n pushi 0\n call down\n"
                        ".segment lib\n.function down(n)\n pushl n\n pushi 1\n add\n"
                        " call down\n ret\n.end\n"));
  deep.vm->set_call_depth_limit(50);
  EXPECT_EQ(deep.vm->run_program(), 0);
  ASSERT_EQ(deep.app.fatal.size(), 1u);
  EXPECT_NE(deep.app.fatal[0].find(": Function calls nested too deeply\n"), std::string::npos);
  EXPECT_EQ(deep.vm->call_depth(), 0);  // the stopped run left no frames
}

TEST(MachineLimits, RecycledFramesStartClean) {
  // g runs in the frame f returned: f's local values must not leak in.
  Machine m;
  ASSERT_EQ(m.Run(".global a, b\n.segment main start\n"
                  " pushi 1\n call f\n popg a\n pushi 2\n call g\n popg b\n"
                  ".segment lib\n"
                  ".function f(x)\n.local y\n pushc \"f\"\n popl y\n pushl x\n ret\n.end\n"
                  ".function g(x)\n.local y\n pushl y\n pushl x\n cat\n ret\n.end\n"),
            1)
      << m.LastError();
  EXPECT_EQ(m.Global("a"), "1");
  EXPECT_EQ(m.Global("b"), "2");
}

TEST(MachineLimits, RecycledScopesStartFresh) {
  // Each call reads its locals before setting them: a declared one (y) and
  // one made by name at run time (extra), which grows the scope.
  Machine m;
  ASSERT_EQ(m.Run(".global a, b, c\n.segment main start\n"
                  " pushi 1\n call f\n popg a\n pushi 2\n call f\n popg b\n"
                  " pushi 3\n call g\n pop\n pushi 4\n call g\n popg c\n"
                  ".segment lib\n"
                  ".function f(x)\n.local y\n pushnc \"l.extra\"\n pushl y\n cat\n pushc \"|\"\n cat\n"
                  " pushl x\n popnc \"l.extra\"\n pushl x\n popl y\n ret\n.end\n"
                  ".function g(x)\n.local y\n pushl y\n pushc \"|\"\n cat\n"
                  " pushl x\n popl y\n ret\n.end\n"),
            1)
      << m.LastError();
  EXPECT_EQ(m.Global("a"), "|");
  EXPECT_EQ(m.Global("b"), "|");
  EXPECT_EQ(m.Global("c"), "|");
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
