#include "expr/expression_compiler.h"

#include "expr/external_function_resolver.h"
#include "values/dictionary.h"
#include "program/function_manager.h"
#include "program/segment.h"
#include "program/segment_manager.h"
#include "values/conversions.h"
#include "values/scope_prefix.h"

namespace pexo {

namespace {

constexpr uint16_t kPushc = 0x4001;
constexpr uint16_t kPushi = 0x4002;
constexpr uint16_t kPushf = 0x8003;
constexpr uint16_t kPushdc = 0x5008;
constexpr uint16_t kPushnc = 0x400A;
constexpr uint16_t kAdd = 0x0016;
constexpr uint16_t kSub = 0x0017;
constexpr uint16_t kDup = 0x003A;
constexpr uint16_t kSwap = 0x005B;
constexpr uint16_t kSwapn = 0x505C;
constexpr uint16_t kStore = 0x0042;
constexpr uint16_t kElem = 0x003E;
constexpr uint16_t kMemb = 0x0040;
constexpr uint16_t kCall = 0x403D;
constexpr uint16_t kLineno = 0x4044;
constexpr uint16_t kSourcefile = 0x404A;

const char kArgumentExpected[] = "Argument expected in Expression";
const char kUnableToStore[] = "Unable to store variable";
const char kUnableToFind[] = "Unable to find variable";
const char kWriteFailed[] = "Allocation failed";
const char kTooDeep[] = "Expression nested too deeply";

bool IsHexDigit(char c) {
  return IsExprDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int32_t SkipDigits(const char* text, int32_t at, int32_t end, bool hex) {
  while (at < end && (hex ? IsHexDigit(text[at]) : IsExprDigit(text[at]))) ++at;
  return at;
}

// Orders names as the locals' chains require: by length, then without
// regard to case.
bool NameBefore(const char* a, int32_t a_length, const String& b) {
  if (a_length != b.length()) return a_length < b.length();
  return compare_nocase(a, a_length, b.data(), b.length()) < 0;
}

// Gives a library function entry one parameter (and local) per library
// parameter. Its locals use a single slot, so one ordered chain.
void AddParameters(Function* function, Dictionary* dictionary,
                   const ExternalFunctionInfo& info) {
  NameTable& locals = function->mutable_locals();
  for (const ExternalParameterInfo& p : info.parameters) {
    FunctionParameter parameter;
    parameter.name_index = dictionary->add(p.name, p.name_length);
    parameter.name.assign(p.name, p.name_length);
    parameter.by_reference = (p.flags & 1) != 0;
    parameter.local_index = locals.count();
    locals.names.push_back(parameter.name_index);
    locals.next.push_back(-1);
    int32_t* link = &locals.buckets[0];
    while (*link >= 0 &&
           !NameBefore(p.name, p.name_length,
                       function->parameters()[static_cast<size_t>(*link)].name))
      link = &locals.next[static_cast<size_t>(*link)];
    locals.next.back() = *link;
    *link = parameter.local_index;
    function->mutable_parameters().push_back(std::move(parameter));
  }
}

}  // namespace

Function* AddExternalFunctionEntry(FunctionManager* functions, Dictionary* dictionary,
                                   const char* name, int32_t length,
                                   const ExternalFunctionInfo& info) {
  Function* function = functions ? functions->add_external_function(name, length) : nullptr;
  if (!function) return nullptr;
  AddParameters(function, dictionary, info);
  function->set_binding(info.binding);
  return function;
}

ExpressionCompiler::ExpressionCompiler(const ExpressionProgram& program, const char* text,
                                       int32_t length, const ExpressionOptions& options)
    : program_(program),
      scanner_(text ? text : "", text ? text_length(text, length) : 0),
      text_(scanner_.text()),
      segment_(options.segment),
      position_(options.start < 0 ? 0 : options.start),
      line_(options.line),
      version_(options.version) {
  if (options.alias &&
      !Intern(options.alias, text_length(options.alias, options.alias_length), kUnableToStore,
              &alias_index_))
    return;
  if (options.source_name &&
      !Intern(options.source_name, text_length(options.source_name, options.source_length),
              kUnableToStore, &source_index_))
    return;
  if (!segment_ && program_.segments) {
    segment_ = program_.segments->add_segment();
    position_ = 0;
  }
}

bool ExpressionCompiler::compile() {
  if (!error_.empty()) return false;
  if (!segment_ || !program_.dictionary || !program_.functions) return Fail(kWriteFailed);
  if (!SourceMarker()) return false;
  return CompileRange(0, scanner_.length());
}

// ---------------------------------------------------------------------------
// Precedence parsing

bool ExpressionCompiler::CompileRange(int32_t begin, int32_t end) {
  if (depth_ >= kMaxExpressionNesting) return Fail(kTooDeep);
  ++depth_;
  int32_t pos = begin;
  bool ok = ParseExpression(&pos, end, 0);
  --depth_;
  return ok;
}

// Compiles from *pos up to the end of the extent or up to an operator of
// level stop_level or lower, which is left unread at *pos.
bool ExpressionCompiler::ParseExpression(int32_t* pos, int32_t end, int32_t stop_level) {
  bool was_operand = false;
  if (!ParsePrimary(pos, end, &was_operand)) return false;
  for (;;) {
    OperatorScan scan;
    if (!scanner_.ScanOperator(*pos, end, &scan, &error_, true)) return false;
    if (!AdditionalArgument(*pos, scan.operand_end)) return false;
    if (!scan.op) {
      *pos = end;
      return true;
    }
    if (scan.op->level <= stop_level) {
      *pos = scan.operand_end;
      return true;
    }
    if (!scan.op->binary) {
      // Only "++"/"--" may follow an operand: the postfix forms.
      bool step = scan.op->kind == OperatorKind::kIncrement ||
                  scan.op->kind == OperatorKind::kDecrement;
      if (!step || !was_operand) return AdditionalArgument(scan.operand_end, end);
      if (!EmitOperator(scan.op, true)) return false;
      *pos = scan.op_end;
      was_operand = false;
      continue;
    }
    *pos = scan.op_end;
    if (!ParseOperatorOperand(pos, end, scan.op) || !EmitOperator(scan.op, false)) return false;
    was_operand = false;
  }
}

// The right operand of a binary operator or the operand of a unary one.
// When the operator after it binds tighter (for a unary operator: at least
// as tight) the operand is a sub-expression; otherwise it is one primary,
// so operators of equal level group to the left.
bool ExpressionCompiler::ParseOperatorOperand(int32_t* pos, int32_t end,
                                              const ExpressionOperator* op) {
  OperatorScan next;
  if (!scanner_.ScanOperator(*pos, end, &next, &error_)) return false;
  bool nested = next.op && (op->binary ? next.op->level > op->level
                                       : next.op->level >= op->level);
  if (depth_ >= kMaxExpressionNesting) return Fail(kTooDeep);
  ++depth_;
  bool was_operand = false;
  bool ok = nested ? ParseExpression(pos, end, op->level) : ParsePrimary(pos, end, &was_operand);
  --depth_;
  return ok;
}

// One operand, a group, or a unary operator applied to what follows it.
bool ExpressionCompiler::ParsePrimary(int32_t* pos, int32_t end, bool* was_operand) {
  *was_operand = false;
  OperatorScan scan;
  if (!scanner_.ScanOperator(*pos, end, &scan, &error_)) return false;
  int32_t begin = *pos;
  int32_t operand_end = scan.operand_end;
  scanner_.Trim(&begin, &operand_end);
  if (begin < operand_end) {
    if (!CompileOperand(begin, operand_end)) return false;
    *pos = scan.op ? scan.operand_end : end;
    *was_operand = true;
    return true;
  }
  if (!scan.op) {
    *pos = end;  // an empty operand emits nothing
    return true;
  }
  if (scan.op->binary) return Fail(kArgumentExpected);
  if (scan.op->kind == OperatorKind::kGroup) return CompileGroup(scan.operand_end, end, pos);
  *pos = scan.op_end;
  return ParseOperatorOperand(pos, end, scan.op) && EmitOperator(scan.op, false);
}

bool ExpressionCompiler::CompileGroup(int32_t at, int32_t end, int32_t* after) {
  if (!scanner_.SkipGroup(at, end, '(', ')', kMismatchedParentheses, after, &error_))
    return false;
  return CompileRange(at + 1, *after - 1);
}

// ---------------------------------------------------------------------------
// Operands

bool ExpressionCompiler::CompileOperand(int32_t begin, int32_t end) {
  const char c = text_[begin];
  const char following = begin + 1 < end ? text_[begin + 1] : '\0';
  int32_t rest = end;
  if (IsExprLetter(c) || c == '_') {
    int32_t name_end = scanner_.SkipWord(begin, end);
    const char after = name_end < end ? text_[name_end] : ' ';
    if (IsExprBlank(after)) {
      if (!CompileVariable(begin, name_end)) return false;
      rest = name_end;
    } else if (after == '.' || after == ':' || after == '[') {
      if (!ScanPath(name_end, end, &rest) || !CompileVariable(begin, rest)) return false;
    } else if (after == '(') {
      if (!scanner_.SkipGroup(name_end, end, '(', ')', kMismatchedParenthesesFound, &rest,
                              &error_) ||
          !CompileCall(begin, name_end, name_end + 1, rest - 1))
        return false;
    } else {
      return FailChar("Invalid Argument '", after, "' in Expression");
    }
  } else if (IsExprDigit(c) || (c == '-' && (IsExprDigit(following) || following == '.')) ||
             (c == '.' && IsExprDigit(following))) {
    if (!CompileNumber(begin, end, &rest)) return false;
  } else if (IsExprQuote(c)) {
    if (!CompileString(begin, end, &rest)) return false;
  } else {
    return FailChar("Invalid Argument '", c, "' Found in expression");
  }
  return AdditionalArgument(rest, end);
}

bool ExpressionCompiler::CompileNumber(int32_t begin, int32_t end, int32_t* after) {
  int32_t at = begin;
  if (text_[at] == '-') ++at;
  bool hex = at + 2 < end && text_[at] == '0' && (text_[at + 1] == 'x' || text_[at + 1] == 'X') &&
             IsHexDigit(text_[at + 2]);
  if (hex) at += 2;
  at = SkipDigits(text_, at, end, hex);
  bool point = at < end && text_[at] == '.';
  if (point) at = SkipDigits(text_, at + 1, end, hex);
  *after = at;
  const char* number = text_ + begin;
  const int32_t length = at - begin;
  if (!point) {
    int bad = 0;
    int32_t value = TextToInteger(number, length, &bad);
    if (!bad) return EmitInt(kPushi, value);
  } else {
    double value = 0;
    if (TextToDouble(number, length, &value)) return EmitDouble(kPushf, value);
  }
  return EmitConstant(number, length);
}

// A quoted text without its quotes; a backslash before either quote stands
// for that quote, any other backslash is kept.
bool ExpressionCompiler::CompileString(int32_t begin, int32_t end, int32_t* after) {
  if (!scanner_.SkipQuoted(begin, end, after, &error_)) return false;
  String value;
  for (int32_t i = begin + 1; i < *after - 1; ++i) {
    if (text_[i] == '\\' && i + 1 < *after - 1 && IsExprQuote(text_[i + 1])) ++i;
    value.append(text_[i]);
  }
  return EmitConstant(value.data(), value.length());
}

// A variable path runs over letters, digits, ".", ":", "_" and bracketed
// index groups.
bool ExpressionCompiler::ScanPath(int32_t at, int32_t end, int32_t* path_end) {
  while (at < end) {
    const char c = text_[at];
    if (c == '[') {
      if (!scanner_.SkipGroup(at, end, '[', ']', kMismatchedParenthesesFound, &at, &error_))
        return false;
    } else if (IsExprWordChar(c) || c == '.' || c == ':') {
      ++at;
    } else {
      break;
    }
  }
  *path_end = at;
  return true;
}

bool ExpressionCompiler::CompileVariable(int32_t begin, int32_t end) {
  int32_t base_end = begin;
  while (base_end < end && text_[base_end] != ':' && text_[base_end] != '[') ++base_end;
  ScopePrefix prefix = ParseScopePrefix(text_ + begin, base_end - begin);
  if (!LineMarker()) return false;
  if (prefix.kind == ScopeKind::kDatabaseAlias ||
      (prefix.kind == ScopeKind::kDatabase && alias_index_ >= 0)) {
    int32_t alias = alias_index_;
    int32_t field = -1;
    if (prefix.kind == ScopeKind::kDatabaseAlias &&
        !Intern(prefix.alias, prefix.alias_length, kUnableToStore, &alias))
      return false;
    if (!Intern(prefix.rest, prefix.rest_length, kUnableToStore, &field) ||
        !EmitInt2(kPushdc, alias, field))
      return false;
  } else {
    int32_t name = -1;
    if (!Intern(text_ + begin, base_end - begin, kUnableToStore, &name) ||
        !EmitInt(kPushnc, name))
      return false;
  }
  return CompileSelectors(base_end, end);
}

// "[" expression "]" selects an element, ":name" a member.
bool ExpressionCompiler::CompileSelectors(int32_t at, int32_t end) {
  while (at < end) {
    if (text_[at] == '[') {
      int32_t after = at;
      if (!scanner_.SkipGroup(at, end, '[', ']', kMismatchedParenthesesFound, &after, &error_))
        return false;
      int32_t inner = at + 1;
      int32_t inner_end = after - 1;
      scanner_.Trim(&inner, &inner_end);
      if (inner == inner_end) return Fail(kArgumentExpected);
      if (!CompileRange(inner, inner_end) || !Emit(kElem)) return false;
      at = after;
    } else if (text_[at] == ':') {
      int32_t name = at + 1;
      int32_t name_end = name;
      while (name_end < end && text_[name_end] != ':' && text_[name_end] != '[') ++name_end;
      if (name == name_end) return FailChar("Invalid Argument '", ':', "' in Expression");
      if (!EmitConstant(text_ + name, name_end - name) || !Emit(kMemb)) return false;
      at = name_end;
    } else {
      return FailChar("Invalid Argument '", text_[at], "' in Expression");
    }
  }
  return true;
}

bool ExpressionCompiler::CompileCall(int32_t name, int32_t name_end, int32_t args,
                                     int32_t args_end) {
  if (!LineMarker()) return false;
  const int32_t name_length = name_end - name;
  Function* function = ResolveFunction(text_ + name, name_length);
  if (!function) {
    error_.assign("Unable to find function '");
    error_.append(text_ + name, name_length);
    error_.append("'");
    return false;
  }
  int32_t count = 0;
  if (!CompileArguments(args, args_end, &count)) return false;
  const int32_t expected = static_cast<int32_t>(function->parameters().size());
  if (count != expected) {
    char number[kIntegerTextSize];
    error_.assign("Function '");
    error_.append(text_ + name, name_length);
    error_.append("' is defined with ");
    error_.append(number, FormatInteger(expected, number));
    error_.append(" parameters and was called with ");
    error_.append(number, FormatInteger(count, number));
    return false;
  }
  if (!EmitInt(kCall, function->number())) return false;
  line_written_ = false;
  return SourceMarker();
}

// Arguments are split at top-level commas; one is counted at each comma and
// for a non-blank last argument.
bool ExpressionCompiler::CompileArguments(int32_t begin, int32_t end, int32_t* count) {
  int32_t start = begin;
  int32_t at = begin;
  while (at < end) {
    const char c = text_[at];
    if (IsExprQuote(c)) {
      if (!scanner_.SkipQuoted(at, end, &at, &error_)) return false;
    } else if (c == '(') {
      if (!scanner_.SkipGroup(at, end, '(', ')', kMismatchedParenthesesFound, &at, &error_))
        return false;
    } else if (c == ',') {
      if (!CompileRange(start, at)) return false;
      ++*count;
      start = ++at;
    } else {
      ++at;
    }
  }
  if (scanner_.SkipBlanks(start, end) == end) return true;
  if (!CompileRange(start, end)) return false;
  ++*count;
  return true;
}

// ---------------------------------------------------------------------------
// Functions

Function* ExpressionCompiler::ResolveFunction(const char* name, int32_t length) {
  Function* function = program_.functions->find(name, length);
  if (function) return function;
  ExternalFunctionInfo info;
  FunctionManager* other = program_.other_functions;
  if (other) {
    // Only library function entries are shared: a compiled function's body
    // lives in the other program's segments, which this program cannot run.
    Function* borrowed = other->find(name, length);
    if (borrowed && borrowed->is_external()) {
      info.binding = borrowed->binding();
      for (const FunctionParameter& p : borrowed->parameters())
        info.parameters.push_back({p.name.data(), p.name.length(), p.by_reference ? 1 : 0});
      return AddExternal(program_.functions, name, length, info);
    }
  }
  if (!program_.externals || !program_.externals->FindExternalFunction(name, length, &info))
    return nullptr;
  function = AddExternal(program_.functions, name, length, info);
  if (function && other && !other->find(name, length))
    AddExternal(other, name, length, info);
  return function;
}

Function* ExpressionCompiler::AddExternal(FunctionManager* functions, const char* name,
                                          int32_t length, const ExternalFunctionInfo& info) {
  return AddExternalFunctionEntry(functions, program_.dictionary, name, length, info);
}

// ---------------------------------------------------------------------------
// Code

bool ExpressionCompiler::EmitOperator(const ExpressionOperator* op, bool postfix) {
  ++operator_count_;
  if (op->kind == OperatorKind::kIncrement || op->kind == OperatorKind::kDecrement)
    return EmitStep(op, postfix);
  if (op->kind != OperatorKind::kInstruction || op->opcode == 0) {
    error_.assign("Invalid Operator '");
    error_.append(op->name);
    error_.append("' Found in Expression");
    return false;
  }
  return LineMarker() && Emit(op->opcode);
}

// "++"/"--" after the operand was pushed. Prefix leaves the new value,
// postfix the old value as a number.
bool ExpressionCompiler::EmitStep(const ExpressionOperator* op, bool postfix) {
  if (version_ <= kIncrementMinimumVersion) return Fail("Invalid operator found in expression");
  const uint16_t step = op->kind == OperatorKind::kIncrement ? kAdd : kSub;
  if (!LineMarker()) return false;
  if (postfix) {
    return Emit(kDup) && EmitInt(kPushi, 0) && Emit(kAdd) && Emit(kSwap) && Emit(kDup) &&
           EmitInt(kPushi, 1) && Emit(step) && Emit(kSwap) && Emit(kStore);
  }
  return Emit(kDup) && EmitInt(kPushi, 1) && Emit(step) && Emit(kDup) &&
         EmitInt2(kSwapn, 0, 2) && Emit(kStore);
}

bool ExpressionCompiler::Emit(uint16_t word) {
  if (!segment_->put_word(position_, word)) return Fail(kWriteFailed);
  position_ += 2;
  return true;
}

bool ExpressionCompiler::EmitInt(uint16_t word, int32_t operand) {
  if (!Emit(word)) return false;
  if (!segment_->put_dword(position_, operand)) return Fail(kWriteFailed);
  position_ += 4;
  return true;
}

bool ExpressionCompiler::EmitInt2(uint16_t word, int32_t first, int32_t second) {
  if (!EmitInt(word, first)) return false;
  if (!segment_->put_dword(position_, second)) return Fail(kWriteFailed);
  position_ += 4;
  return true;
}

bool ExpressionCompiler::EmitDouble(uint16_t word, double operand) {
  if (!Emit(word)) return false;
  if (!segment_->put_double(position_, operand)) return Fail(kWriteFailed);
  position_ += 8;
  return true;
}

bool ExpressionCompiler::EmitConstant(const char* bytes, int32_t length) {
  int32_t index = -1;
  return LineMarker() && Intern(bytes, length, kUnableToFind, &index) && EmitInt(kPushc, index);
}

// A line marker once after the start and after each call, when the code
// carries positions at all.
bool ExpressionCompiler::LineMarker() {
  if (source_index_ < 0 || line_written_) return true;
  line_written_ = true;
  return EmitInt(kLineno, line_);
}

bool ExpressionCompiler::SourceMarker() {
  return source_index_ < 0 || EmitInt(kSourcefile, source_index_);
}

bool ExpressionCompiler::Intern(const char* bytes, int32_t length, const char* failure,
                                int32_t* index) {
  *index = program_.dictionary ? program_.dictionary->add(bytes, length) : -1;
  return *index >= 0 || Fail(failure);
}

bool ExpressionCompiler::Fail(const char* message) {
  error_.assign(message);
  return false;
}

bool ExpressionCompiler::FailChar(const char* prefix, char c, const char* suffix) {
  error_.assign(prefix);
  error_.append(c);
  error_.append(suffix);
  return false;
}

// Text left where an operator was expected.
bool ExpressionCompiler::AdditionalArgument(int32_t at, int32_t end) {
  at = scanner_.SkipBlanks(at, end);
  if (at == end) return true;
  return FailChar("Found additional argument '", text_[at], "' while looking for operator");
}

}  // namespace pexo
