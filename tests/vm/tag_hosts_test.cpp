// The engine's tag instructions on a host that can neither divert its
// output nor call other files, and on a program without localized texts:
// each says why under its tag and leaves the stack as the tag would.
#include <string>

#include "host/tag_instruction_set.h"
#include "vm/error_table.h"
#include "vm_harness.h"

namespace pexo {
namespace testing_vm {
namespace {

TEST(TagHosts, MissingHostServicesAreRuntimeErrors) {
  struct Case {
    const char* body;
    int32_t tag;
    const char* message;
    const char* output;
  } cases[] = {
      {" pushg v\n capture\n pushc \"x\"\n out\n", kTagPxCAPTURE,
       "Output cannot be captured by this host", "x"},
      {" pushc \"a.pxc\"\n op_do_file\n pushc \"x\"\n out\n", kTagPxDO,
       "PxDO is not available in this host", "x"},
      // The null variable stands for the value that could not be made.
      {" pushc \"[\"\n pushc \"a.pxc\"\n pushc \"1\"\n op_do_function\n cat\n pushc \"]\"\n cat\n"
       " out\n", kTagPxDO, "PxDO is not available in this host", "[]"},
      {" pushc \"t\"\n poplvnc \"name\"\n localize \"k\"\n localizev \"k\"\n out\n",
       kTagPxLOCALIZED_TOKEN, "Localized texts are not available in this program", ""},
  };
  for (const Case& c : cases) {
    Machine m;
    m.tag_instructions = EngineTagInstructions();
    ASSERT_EQ(m.Run(std::string(".global v\n.segment main start\n tagerror 59, 1\n"
                                " tagerror 22, 1\n tagerror 24, 1\n tagerror 25, 1\n"
                                " tagerror 26, 1\n") + c.body),
              1)
        << c.body << m.LastError();
    ASSERT_FALSE(m.app.runtime.empty()) << c.body;
    EXPECT_EQ(m.app.runtime[0].tag, c.tag) << c.body;
    EXPECT_NE(m.app.runtime[0].text.find(c.message), std::string::npos) << m.app.runtime[0].text;
    EXPECT_EQ(m.app.output, c.output) << c.body;
  }
}

}  // namespace
}  // namespace testing_vm
}  // namespace pexo
