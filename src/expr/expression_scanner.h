// Lexical rules of run-time expressions: character classes, quoted texts,
// bracketed groups and the search for the next operator.
//
// Every routine works on an extent [begin, end) of the text and never reads
// outside it. Failures return false with one message in `error`.
#ifndef PEXO_EXPR_EXPRESSION_SCANNER_H_
#define PEXO_EXPR_EXPRESSION_SCANNER_H_

#include <cstdint>

#include "expr/expression_operators.h"
#include "values/string.h"

namespace pexo {

extern const char kMismatchedQuotes[];
extern const char kMismatchedParenthesesFound[];
extern const char kMismatchedParentheses[];

inline bool IsExprBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool IsExprLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsExprDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsExprWordChar(char c) { return IsExprLetter(c) || IsExprDigit(c) || c == '_'; }
inline bool IsExprQuote(char c) { return c == '\'' || c == '"'; }

// What ScanOperator found: the operand runs from the scan start to
// `operand_end`; `op` is null when the extent ended first, otherwise the
// operator occupies [operand_end, op_end).
struct OperatorScan {
  int32_t operand_end = 0;
  const ExpressionOperator* op = nullptr;
  int32_t op_end = 0;
};

class ExpressionScanner {
 public:
  ExpressionScanner(const char* text, int32_t length) : text_(text), length_(length) {}

  const char* text() const { return text_; }
  int32_t length() const { return length_; }

  // `at` holds a quote; *after receives the position past its closing
  // quote (the next same quote not preceded by a backslash).
  bool SkipQuoted(int32_t at, int32_t end, int32_t* after, String* error) const;
  // `at` holds `open`; *after receives the position past the matching
  // `close`. Nested groups of the same kind and quoted texts are skipped.
  // Reaching `end` first fails with `unclosed_message`.
  bool SkipGroup(int32_t at, int32_t end, char open, char close, const char* unclosed_message,
                 int32_t* after, String* error) const;
  // Finds the next operator from `from`; see OperatorScan. `after_operand`
  // tells that an operand ends at `from`, so a "+" or "-" there is an
  // operator and not the sign of a number.
  bool ScanOperator(int32_t from, int32_t end, OperatorScan* scan, String* error,
                    bool after_operand = false) const;

  int32_t SkipBlanks(int32_t at, int32_t end) const;
  int32_t SkipWord(int32_t at, int32_t end) const;
  // [begin, end) with blanks removed at both ends.
  void Trim(int32_t* begin, int32_t* end) const;

 private:
  // Called at a letter: decides whether the word there is an operator.
  bool ScanWord(int32_t at, int32_t end, OperatorScan* scan, int32_t* next, String* error) const;

  const char* text_;
  int32_t length_;
};

}  // namespace pexo

#endif  // PEXO_EXPR_EXPRESSION_SCANNER_H_
