#include "expr/expression_scanner.h"

namespace pexo {

const char kMismatchedQuotes[] = "Mismatched Quotes found in Expression";
const char kMismatchedParenthesesFound[] = "Mismatched Parentheses found in Expression";
const char kMismatchedParentheses[] = "Mismatched Parentheses in Expression";

bool ExpressionScanner::SkipQuoted(int32_t at, int32_t end, int32_t* after,
                                   String* error) const {
  const char quote = text_[at];
  for (int32_t i = at + 1; i < end; ++i) {
    if (text_[i] == quote && text_[i - 1] != '\\') {
      *after = i + 1;
      return true;
    }
  }
  error->assign(kMismatchedQuotes);
  return false;
}

bool ExpressionScanner::SkipGroup(int32_t at, int32_t end, char open, char close,
                                  const char* unclosed_message, int32_t* after,
                                  String* error) const {
  int32_t depth = 0;
  int32_t i = at;
  while (i < end) {
    char c = text_[i];
    if (IsExprQuote(c)) {
      if (!SkipQuoted(i, end, &i, error)) return false;
      continue;
    }
    if (c == open) {
      ++depth;
    } else if (c == close && --depth == 0) {
      *after = i + 1;
      return true;
    }
    ++i;
  }
  error->assign(unclosed_message);
  return false;
}

int32_t ExpressionScanner::SkipBlanks(int32_t at, int32_t end) const {
  while (at < end && IsExprBlank(text_[at])) ++at;
  return at;
}

int32_t ExpressionScanner::SkipWord(int32_t at, int32_t end) const {
  while (at < end && IsExprWordChar(text_[at])) ++at;
  return at;
}

void ExpressionScanner::Trim(int32_t* begin, int32_t* end) const {
  *begin = SkipBlanks(*begin, *end);
  while (*end > *begin && IsExprBlank(text_[*end - 1])) --*end;
}

bool ExpressionScanner::ScanWord(int32_t at, int32_t end, OperatorScan* scan, int32_t* next,
                                 String* error) const {
  int32_t word_end = SkipWord(at, end);
  const ExpressionOperator* op = FindExpressionOperator(text_ + at, word_end - at);
  if (op) {
    scan->operand_end = at;
    scan->op = op;
    scan->op_end = word_end;
    *next = word_end;
    return true;
  }
  *next = word_end;
  // A name directly followed by a group is a call or a selector: the group
  // is part of the operand whatever it holds.
  if (word_end < end && text_[word_end] == '(')
    return SkipGroup(word_end, end, '(', ')', kMismatchedParenthesesFound, next, error);
  if (word_end < end && text_[word_end] == '[')
    return SkipGroup(word_end, end, '[', ']', kMismatchedParenthesesFound, next, error);
  return true;
}

bool ExpressionScanner::ScanOperator(int32_t from, int32_t end, OperatorScan* scan,
                                     String* error, bool after_operand) const {
  scan->op = nullptr;
  bool first = !after_operand;  // no non-blank character of the operand seen yet
  int32_t i = from;
  while (i < end) {
    const char c = text_[i];
    if (IsExprBlank(c)) {
      ++i;
      continue;
    }
    if (c == '+' || c == '-') {
      const char following = i + 1 < end ? text_[i + 1] : '\0';
      int32_t op_length = 0;
      if (following == c) {
        op_length = 2;
      } else if (!first || !(IsExprDigit(following) || following == '.')) {
        op_length = 1;
      }
      if (op_length) {
        scan->operand_end = i;
        scan->op = FindExpressionOperator(text_ + i, op_length);
        scan->op_end = i + op_length;
        return true;
      }
      ++i;  // the sign of a number
    } else if (c == '$' || c == '*' || c == '/' || c == '(') {
      scan->operand_end = i;
      scan->op = FindExpressionOperator(text_ + i, 1);
      scan->op_end = i + 1;
      return true;
    } else if (IsExprLetter(c) || c == '_') {
      // A word that starts with "_" is a name, never an operator.
      if (!ScanWord(i, end, scan, &i, error)) return false;
      if (scan->op) return true;
    } else if (IsExprQuote(c)) {
      if (!SkipQuoted(i, end, &i, error)) return false;
    } else {
      ++i;
    }
    first = false;
  }
  scan->operand_end = end;
  return true;
}

}  // namespace pexo
