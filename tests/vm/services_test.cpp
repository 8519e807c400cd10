// The service stack: innermost-of-kind search, stopping with everything
// above, stopping on function return and at the end of the run, signals.
#include <cstdlib>
#include <string>
#include <vector>

#include "vm/feature.h"
#include "vm/vm_stack.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

// What the recording services saw, in order.
std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}

class Recorder : public Feature {
 public:
  Recorder(PexoVM* vm, int32_t kind, std::string name) : Feature(vm, kind), name_(std::move(name)) {}
  ~Recorder() override { Events().push_back("stop " + name_); }
  void SignalNotification(int32_t signal) override {
    Events().push_back("signal " + name_ + " " + std::to_string(signal));
  }

 private:
  std::string name_;
};

// lockfile NAME / capture NAME start a recorder of kind 6 / 8; their end
// instructions stop the innermost of the kind.
void Start(PexoVM* vm, int32_t kind) {
  int32_t length = 0;
  char* name = vm->stack()->pop_name(&length);
  std::string text(name ? name : "", name ? length : 0);
  std::free(name);
  if (text == "raise") {  // stands for the host raising the request's signal
    vm->flags()->signal.fetch_add(1);
    return;
  }
  vm->services().Push(std::make_unique<Recorder>(vm, kind, text));
}
void Stop(PexoVM* vm, int32_t kind) {
  Feature* service = vm->services().Find(kind);
  if (!service) {
    vm->fatal_error("Invalid instruction");
    return;
  }
  vm->services().Stop(service);
}

TagInstructionTable MakeTable() {
  TagInstructionTable table;
  table.Set(0x0048, [](PexoVM* vm, const TagOperands&) { Start(vm, kFeatureLockfile); });
  table.Set(0x0049, [](PexoVM* vm, const TagOperands&) { Stop(vm, kFeatureLockfile); });
  table.Set(0x0058, [](PexoVM* vm, const TagOperands&) { Start(vm, kFeatureCapture); });
  table.Set(0x0059, [](PexoVM* vm, const TagOperands&) { Stop(vm, kFeatureCapture); });
  // pop3delete stands for an end instruction that first ends what is left
  // open above its own service (the innermost lock here), which stays.
  table.Set(0x0108, [](PexoVM* vm, const TagOperands&) {
    vm->services().StopAbove(vm->services().Find(kFeatureLockfile));
  });
  return table;
}

std::string RunWithServices(const std::string& body, std::string* error = nullptr) {
  static const TagInstructionTable table = MakeTable();
  Events().clear();
  Machine m;
  m.tag_instructions = &table;
  m.Run(".segment main start\n" + body +
        ".segment lib\n"
        ".function f()\n pushc \"inner\"\n lockfile\n retn\n.end\n");
  if (error) *error = m.LastError();
  std::string joined;
  for (const std::string& event : Events()) joined += event + ";";
  return joined;
}

TEST(Services, StackOrder) {
  struct Case {
    const char* body;
    const char* events;
  } cases[] = {
      // Ending an outer service stops the inner one first.
      {" pushc \"a\"\n lockfile\n pushc \"b\"\n capture\n lockfile_end\n",
       "stop b;stop a;"},
      // The innermost of a kind is found, not the first one started.
      {" pushc \"a\"\n lockfile\n pushc \"b\"\n lockfile\n lockfile_end\n pushc \"x\"\n out\n",
       "stop b;stop a;"},
      // A function's services end with its return; the caller's stay until
      // the end of the run.
      {" pushc \"outer\"\n lockfile\n call f\n pop\n pushc \"after\"\n capture\n",
       "stop inner;stop after;stop outer;"},
      // Stopping what is above a service leaves the service itself.
      {" pushc \"a\"\n lockfile\n pushc \"b\"\n capture\n pop3delete\n pushc \"c\"\n capture\n",
       "stop b;stop c;stop a;"},
  };
  for (const Case& c : cases) EXPECT_EQ(RunWithServices(c.body), c.events) << c.body;
}

TEST(Services, EndWithoutStartIsFatal) {
  std::string error;
  EXPECT_EQ(RunWithServices(" capture_end\n", &error), "");
  EXPECT_NE(error.find("Invalid instruction"), std::string::npos) << error;
}

TEST(Services, SignalReachesActiveServices) {
  EXPECT_EQ(RunWithServices(" pushc \"a\"\n lockfile\n pushc \"b\"\n capture\n pushc \"raise\"\n capture\n"
                " pushc \"x\"\n out\n"),
            "signal b 1;signal a 1;stop b;stop a;");
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
