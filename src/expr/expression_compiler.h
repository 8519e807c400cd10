// ExpressionCompiler: turns an expression given as text at run time into
// machine code in a segment of the running program, using the program's
// dictionary for names and string constants and its function list for
// calls. The code leaves the expression's value on the operand stack.
//
// A compiler is made for one text and compiled once. On failure compile()
// returns false, error() holds exactly one message and the partly written
// segment must not be run; the segment belongs to the segment manager
// either way. Function entries added for library functions stay in the
// program's function list.
#ifndef PEXO_EXPR_EXPRESSION_COMPILER_H_
#define PEXO_EXPR_EXPRESSION_COMPILER_H_

#include <cstdint>

#include "expr/expression_scanner.h"
#include "values/string.h"

namespace pexo {

class Dictionary;
class ExternalFunctionResolver;
class Function;
class FunctionManager;
class Segment;
class SegmentManager;
struct ExternalFunctionInfo;

// The compiled-file version code compiled at run time is produced for.
constexpr int32_t kDynamicExpressionVersion = 65549;
// "++" and "--" need a version above this one.
constexpr int32_t kIncrementMinimumVersion = 65544;
// Groups, selectors, calls and unary operators nested deeper than this are
// refused, so that hostile text cannot exhaust the native stack.
constexpr int32_t kMaxExpressionNesting = 200;

// The program the code is compiled into. `externals` and `other_functions`
// may be null; the rest must outlive the compiler.
struct ExpressionProgram {
  ExternalFunctionResolver* externals = nullptr;
  SegmentManager* segments = nullptr;
  Dictionary* dictionary = nullptr;
  FunctionManager* functions = nullptr;
  // Another loaded program whose library function entries may be borrowed.
  FunctionManager* other_functions = nullptr;
};

struct ExpressionOptions {
  // Default database alias for "d." fields; null when none.
  const char* alias = nullptr;
  int32_t alias_length = -1;
  // Segment to write into (null: a new one) and the first byte to write.
  Segment* segment = nullptr;
  int32_t start = 0;
  // Source name for position markers; null: no markers.
  const char* source_name = nullptr;
  int32_t source_length = -1;
  int32_t line = 1;
  int32_t version = kDynamicExpressionVersion;
};

// Enters a library function into a function list: marked external, bound to
// `info.binding`, with one parameter (and local) per library parameter.
// Null when the name cannot be stored.
Function* AddExternalFunctionEntry(FunctionManager* functions, Dictionary* dictionary,
                                   const char* name, int32_t length,
                                   const ExternalFunctionInfo& info);

class ExpressionCompiler {
 public:
  ExpressionCompiler(const ExpressionProgram& program, const char* text, int32_t length,
                     const ExpressionOptions& options = ExpressionOptions());
  ExpressionCompiler(const ExpressionCompiler&) = delete;
  ExpressionCompiler& operator=(const ExpressionCompiler&) = delete;

  bool compile();

  const String& error() const { return error_; }
  Segment* segment() const { return segment_; }
  // The byte after the last instruction written.
  int32_t position() const { return position_; }
  int32_t operator_count() const { return operator_count_; }

 private:
  // Parsing. Positions are byte offsets into the text; every routine works
  // inside the extent it is given.
  bool CompileRange(int32_t begin, int32_t end);
  bool ParseExpression(int32_t* pos, int32_t end, int32_t stop_level);
  bool ParsePrimary(int32_t* pos, int32_t end, bool* was_operand);
  bool ParseOperatorOperand(int32_t* pos, int32_t end, const ExpressionOperator* op);
  bool CompileGroup(int32_t at, int32_t end, int32_t* after);

  // Operands.
  bool CompileOperand(int32_t begin, int32_t end);
  bool CompileNumber(int32_t begin, int32_t end, int32_t* after);
  bool CompileString(int32_t begin, int32_t end, int32_t* after);
  bool ScanPath(int32_t at, int32_t end, int32_t* path_end);
  bool CompileVariable(int32_t begin, int32_t end);
  bool CompileSelectors(int32_t at, int32_t end);
  bool CompileCall(int32_t name, int32_t name_end, int32_t args, int32_t args_end);
  bool CompileArguments(int32_t begin, int32_t end, int32_t* count);

  // Functions.
  Function* ResolveFunction(const char* name, int32_t length);
  Function* AddExternal(FunctionManager* functions, const char* name, int32_t length,
                        const ExternalFunctionInfo& info);

  // Code.
  bool EmitOperator(const ExpressionOperator* op, bool postfix);
  bool EmitStep(const ExpressionOperator* op, bool postfix);
  bool Emit(uint16_t word);
  bool EmitInt(uint16_t word, int32_t operand);
  bool EmitInt2(uint16_t word, int32_t first, int32_t second);
  bool EmitDouble(uint16_t word, double operand);
  bool EmitConstant(const char* bytes, int32_t length);
  bool LineMarker();
  bool SourceMarker();
  bool Intern(const char* bytes, int32_t length, const char* failure, int32_t* index);

  bool Fail(const char* message);
  bool FailChar(const char* prefix, char c, const char* suffix);
  bool AdditionalArgument(int32_t at, int32_t end);

  ExpressionProgram program_;
  ExpressionScanner scanner_;
  const char* text_;
  int32_t alias_index_ = -1;
  Segment* segment_ = nullptr;
  int32_t position_ = 0;
  int32_t source_index_ = -1;
  int32_t line_;
  int32_t version_;
  bool line_written_ = false;
  int32_t depth_ = 0;
  int32_t operator_count_ = 0;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_EXPR_EXPRESSION_COMPILER_H_
