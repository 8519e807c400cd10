// Renders code as text for comparisons: one instruction per line, with
// dictionary operands shown as their texts.
#ifndef PEXO_TESTS_EXPR_RENDER_H_
#define PEXO_TESTS_EXPR_RENDER_H_

#include <cstdint>
#include <functional>
#include <string>

namespace pexo {
namespace testing_expr {

using StringAt = std::function<std::string(int32_t)>;

// One line per instruction: mnemonic and operands; operands that are
// dictionary indexes print as quoted texts.
std::string Render(const unsigned char* code, int32_t length, const StringAt& string_at);

// Assembles `source` and renders its first segment.
std::string AssembleAndRender(const std::string& source);

}  // namespace testing_expr
}  // namespace pexo

#endif  // PEXO_TESTS_EXPR_RENDER_H_
