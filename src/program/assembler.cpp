#include "program/assembler.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "program/byte_sink.h"
#include "program/opcodes.h"

namespace pexo {

namespace {

constexpr int kMaxErrors = 50;

enum class TokenKind { kName, kNumber, kString, kDirective, kComma, kColon, kOpen, kClose };

struct Token {
  TokenKind kind;
  std::string text;  // strings: the decoded bytes
};

// What a symbolic operand names decides how an identifier is resolved;
// the roles come with each opcode's row. Operands not marked otherwise take
// numbers (or strings, which stand for their dictionary index).
using Role = OperandRole;

// An attribute count is written like any integer.
Role RoleOf(const OpcodeInfo& op, int which) {
  Role role = which == 0 ? op.first : op.second;
  return role == Role::kCount ? Role::kInt : role;
}

const char* RoleNoun(Role role) {
  switch (role) {
    case Role::kSystem: return "system variable";
    case Role::kGlobal: return "global variable";
    case Role::kLocal: return "local variable";
    case Role::kLabel: return "label";
    case Role::kFunction: return "function";
    default: return "name";
  }
}

std::string Lower(const std::string& s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Integers: decimal with optional sign, or 0x hex up to 0xFFFFFFFF (taken as
// the 32-bit pattern).
bool ParseInt(const std::string& s, int32_t* out) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  int base = 10;
  if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t value = 0;
  for (; i < s.size(); ++i) {
    int c = static_cast<unsigned char>(s[i]);
    int digit;
    if (std::isdigit(c)) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(c)) {
      digit = std::tolower(c) - 'a' + 10;
    } else {
      return false;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return false;
  }
  if (base == 10) {
    if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) return false;
  }
  uint32_t bits = static_cast<uint32_t>(value);
  if (negative) bits = 0u - bits;
  *out = static_cast<int32_t>(bits);
  return true;
}

bool ParseDouble(const std::string& s, double* out) {
  int32_t i;
  if (ParseInt(s, &i)) {
    *out = i;
    return true;
  }
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || errno == ERANGE) return false;
  // strtod also takes "inf", "nan" and hex floats; the lexer only hands it
  // number-shaped tokens, so that is harmless.
  *out = d;
  return true;
}

struct Fixup {
  int32_t segment;
  size_t at;   // operand position in the segment's code
  size_t end;  // first byte after the instruction (jump origin)
  Role role;
  std::string name;
  int32_t function;  // local-name context, -1 outside functions
  int line;
};

class Assembler {
 public:
  Assembler(const char* file, ProgramWriter* writer) : file_(file ? file : "<input>"), writer_(writer) {}

  void assemble(const char* text, size_t length) {
    size_t begin = 0;
    int number = 1;
    while (begin <= length && errors_.size() < kMaxErrors) {
      size_t end = begin;
      while (end < length && text[end] != '\n') ++end;
      size_t stop = end;
      if (stop > begin && text[stop - 1] == '\r') --stop;
      line_ = number;
      line(text + begin, stop - begin);
      if (end >= length) break;
      begin = end + 1;
      ++number;
    }
    finish();
  }

  bool ok() const { return errors_.empty(); }
  // Messages in line order (unresolved names are only found at the end).
  void report(String* out) {
    if (!out) return;
    std::stable_sort(errors_.begin(), errors_.end(),
                     [](const Message& a, const Message& b) { return a.line < b.line; });
    out->clear();
    for (size_t i = 0; i < errors_.size(); ++i) {
      if (i) out->append('\n');
      out->append(errors_[i].text.data(), static_cast<int32_t>(errors_[i].text.size()));
    }
  }

 private:
  void error_at(int line, const std::string& message) {
    if (errors_.size() == kMaxErrors) return;
    errors_.push_back(Message{line, file_ + ":" + std::to_string(line) + ": " + message});
    if (errors_.size() == kMaxErrors) errors_.push_back(Message{line + 1, file_ + ": too many errors"});
  }
  void error(const std::string& message) { error_at(line_, message); }

  bool tokenize(const char* p, size_t n, std::vector<Token>* tokens);
  bool lex_string(const char* p, size_t n, size_t* i, std::string* out);
  void line(const char* p, size_t n);
  void directive(const std::string& name, const std::vector<Token>& args);
  void instruction(const Token& mnemonic, const std::vector<Token>& operands);
  void label(const std::string& name);
  void finish();

  // Code of the current segment; opens an implicit first segment.
  std::string* code();
  ByteSink* data_target(ByteSink* scratch);
  void emit_data(const std::string& directive, const std::vector<Token>& args);

  void function_directive(const std::vector<Token>& args, bool external);
  void section_directive(const std::vector<Token>& args);
  void header_directive(const std::vector<Token>& args);
  void localized_directive(const std::vector<Token>& args);
  bool section_code(const Token& t, uint32_t* code);
  bool want_int(const std::vector<Token>& args, size_t i, const char* what, int32_t* out);
  bool want_string(const std::vector<Token>& args, size_t i, const char* what, std::string* out);
  bool want_count(const std::vector<Token>& args, size_t count, const char* what);
  void declare_names(const std::vector<Token>& args, const char* what, int kind);
  int32_t find_segment(const std::string& name) const;

  std::string file_;
  ProgramWriter* writer_;
  int line_ = 0;
  struct Message {
    int line;
    std::string text;
  };
  std::vector<Message> errors_;

  int32_t segment_ = -1;
  int32_t function_ = -1;
  std::vector<std::string> segment_names_;  // lower-cased, "" when unnamed
  std::vector<std::map<std::string, int32_t>> labels_;
  std::vector<Fixup> fixups_;
  std::string start_name_;
  int start_line_ = 0;

  bool in_section_ = false;
  int section_line_ = 0;
  uint32_t section_code_ = 0;
  ByteSink section_;
};

bool Assembler::lex_string(const char* p, size_t n, size_t* i, std::string* out) {
  size_t k = *i + 1;  // past the opening quote
  while (k < n && p[k] != '"') {
    char c = p[k++];
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (k >= n) break;
    char e = p[k++];
    switch (e) {
      case 'n': out->push_back('\n'); break;
      case 'r': out->push_back('\r'); break;
      case 't': out->push_back('\t'); break;
      case '0': out->push_back('\0'); break;
      case '\\': out->push_back('\\'); break;
      case '"': out->push_back('"'); break;
      case '\'': out->push_back('\''); break;
      case 'x': {
        int value = 0, digits = 0;
        while (digits < 2 && k < n && std::isxdigit(static_cast<unsigned char>(p[k]))) {
          int c2 = std::tolower(static_cast<unsigned char>(p[k++]));
          value = value * 16 + (std::isdigit(c2) ? c2 - '0' : c2 - 'a' + 10);
          ++digits;
        }
        if (digits != 2) {
          error("bad escape '\\x' in string: two hex digits expected");
          return false;
        }
        out->push_back(static_cast<char>(value));
        break;
      }
      default:
        error(std::string("bad escape '\\") + e + "' in string");
        return false;
    }
  }
  if (k >= n) {
    error("unterminated string");
    return false;
  }
  *i = k + 1;
  return true;
}

bool Assembler::tokenize(const char* p, size_t n, std::vector<Token>* tokens) {
  size_t i = 0;
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    unsigned char next = i + 1 < n ? static_cast<unsigned char>(p[i + 1]) : 0;
    if (c == ';') break;
    if (std::isspace(c)) {
      ++i;
    } else if (c == '"') {
      std::string s;
      if (!lex_string(p, n, &i, &s)) return false;
      tokens->push_back(Token{TokenKind::kString, s});
    } else if (std::isdigit(c) || ((c == '-' || c == '+') && (std::isdigit(next) || next == '.')) ||
               (c == '.' && std::isdigit(next))) {
      size_t start = i++;
      bool hex = c == '0' && (next == 'x' || next == 'X');
      while (i < n) {
        unsigned char d = static_cast<unsigned char>(p[i]);
        unsigned char prev = static_cast<unsigned char>(p[i - 1]);
        if (std::isalnum(d) || d == '.' ||
            ((d == '+' || d == '-') && !hex && (prev == 'e' || prev == 'E'))) {
          ++i;
        } else {
          break;
        }
      }
      tokens->push_back(Token{TokenKind::kNumber, std::string(p + start, i - start)});
    } else if (c == '.' && (std::isalpha(next) || next == '_')) {
      size_t start = ++i;
      while (i < n && (std::isalnum(static_cast<unsigned char>(p[i])) || p[i] == '_')) ++i;
      tokens->push_back(Token{TokenKind::kDirective, std::string(p + start, i - start)});
    } else if (std::isalpha(c) || c == '_' || c == '$') {
      size_t start = i;
      while (i < n && (std::isalnum(static_cast<unsigned char>(p[i])) || p[i] == '_' || p[i] == '$')) ++i;
      tokens->push_back(Token{TokenKind::kName, std::string(p + start, i - start)});
    } else if (c == ',' || c == ':' || c == '(' || c == ')') {
      TokenKind kind = c == ',' ? TokenKind::kComma
                       : c == ':' ? TokenKind::kColon
                       : c == '(' ? TokenKind::kOpen
                                  : TokenKind::kClose;
      tokens->push_back(Token{kind, std::string(1, static_cast<char>(c))});
      ++i;
    } else {
      char shown[8];
      if (std::isprint(c)) {
        std::snprintf(shown, sizeof shown, "%c", c);
      } else {
        std::snprintf(shown, sizeof shown, "\\x%02x", c);
      }
      error(std::string("unexpected character '") + shown + "'");
      return false;
    }
  }
  return true;
}

void Assembler::line(const char* p, size_t n) {
  std::vector<Token> tokens;
  if (!tokenize(p, n, &tokens) || tokens.empty()) return;
  size_t i = 0;
  if (tokens.size() >= 2 && tokens[0].kind == TokenKind::kName && tokens[1].kind == TokenKind::kColon) {
    label(tokens[0].text);
    i = 2;
  }
  if (i >= tokens.size()) return;
  const Token& head = tokens[i];
  std::vector<Token> rest;
  for (size_t k = i + 1; k < tokens.size(); ++k) {
    if (tokens[k].kind != TokenKind::kComma) rest.push_back(tokens[k]);
  }
  if (head.kind == TokenKind::kDirective) {
    directive(Lower(head.text), rest);
  } else if (head.kind == TokenKind::kName) {
    instruction(head, rest);
  } else {
    error("expected a mnemonic or a directive, got '" + head.text + "'");
  }
}

std::string* Assembler::code() {
  if (segment_ < 0) {
    segment_ = writer_->add_segment();
    segment_names_.push_back("");
    labels_.emplace_back();
  }
  return writer_->segment_code(segment_);
}

void Assembler::label(const std::string& name) {
  if (in_section_) {
    error("label inside a raw section");
    return;
  }
  std::string* c = code();
  auto& labels = labels_[static_cast<size_t>(segment_)];
  if (!labels.emplace(Lower(name), static_cast<int32_t>(c->size())).second) {
    error("duplicate label '" + name + "'");
  }
}

void Assembler::instruction(const Token& mnemonic, const std::vector<Token>& operands) {
  const OpcodeInfo* op = FindOpcodeByMnemonic(mnemonic.text.data(), static_cast<int32_t>(mnemonic.text.size()));
  if (!op) {
    error("unknown mnemonic '" + mnemonic.text + "'");
    return;
  }
  if (in_section_) {
    error("instruction inside a raw section");
    return;
  }
  OperandKind kinds[2] = {FirstOperandKind(op->word), SecondOperandKind(op->word)};
  size_t wanted = 0;
  for (OperandKind k : kinds) wanted += k != OperandKind::kNone ? 1 : 0;
  if (operands.size() != wanted) {
    error("'" + std::string(op->mnemonic) + "' expects " + std::to_string(wanted) +
          (wanted == 1 ? " operand" : " operands") + ", got " + std::to_string(operands.size()));
    return;
  }
  std::string* c = code();
  size_t start = c->size();
  size_t end = start + static_cast<size_t>(InstructionSize(op->word));
  ByteSink out;
  out.put16(op->word);
  std::vector<Fixup> pending;  // kept only when the whole instruction is good
  size_t next = 0;
  for (int which = 0; which < 2; ++which) {
    if (kinds[which] == OperandKind::kNone) continue;
    const Token& t = operands[next++];
    Role role = RoleOf(*op, which);
    std::string where = "operand " + std::to_string(next) + " of '" + op->mnemonic + "'";
    if (role == Role::kDouble) {
      double d = 0;
      if (t.kind != TokenKind::kNumber || !ParseDouble(t.text, &d)) {
        error("bad number '" + t.text + "' as " + where);
        return;
      }
      out.put_double(d);
      continue;
    }
    int32_t value = 0;
    if (t.kind == TokenKind::kNumber) {
      if (!ParseInt(t.text, &value)) {
        error("bad integer '" + t.text + "' as " + where);
        return;
      }
    } else if (t.kind == TokenKind::kString) {
      if (role != Role::kInt && role != Role::kDict) {
        error("a string cannot be " + where + ": a " + RoleNoun(role) + " name or a number is expected");
        return;
      }
      value = writer_->intern(t.text.data(), static_cast<int32_t>(t.text.size()));
    } else if (t.kind == TokenKind::kName) {
      if (role == Role::kInt || role == Role::kDict) {
        error("unexpected name '" + t.text + "' as " + where + ": a number or a string is expected");
        return;
      }
      pending.push_back(Fixup{segment_, start + out.size(), end, role, t.text, function_, line_});
    } else {
      error("unexpected '" + t.text + "' as " + where);
      return;
    }
    out.put32(static_cast<uint32_t>(value));
  }
  c->append(out.bytes());
  fixups_.insert(fixups_.end(), pending.begin(), pending.end());
}

bool Assembler::want_count(const std::vector<Token>& args, size_t count, const char* what) {
  if (args.size() == count) return true;
  error(std::string("'.") + what + "' expects " + std::to_string(count) +
        (count == 1 ? " argument" : " arguments") + ", got " + std::to_string(args.size()));
  return false;
}

bool Assembler::want_int(const std::vector<Token>& args, size_t i, const char* what, int32_t* out) {
  if (i < args.size() && args[i].kind == TokenKind::kNumber && ParseInt(args[i].text, out)) return true;
  error(std::string("'.") + what + "' expects an integer" +
        (i < args.size() ? ", got '" + args[i].text + "'" : std::string()));
  return false;
}

bool Assembler::want_string(const std::vector<Token>& args, size_t i, const char* what, std::string* out) {
  if (i < args.size() && args[i].kind == TokenKind::kString) {
    *out = args[i].text;
    return true;
  }
  error(std::string("'.") + what + "' expects a string" +
        (i < args.size() ? ", got '" + args[i].text + "'" : std::string()));
  return false;
}

bool Assembler::section_code(const Token& t, uint32_t* out) {
  int32_t number;
  if (t.kind == TokenKind::kNumber && ParseInt(t.text, &number)) {
    *out = static_cast<uint32_t>(number);
    return true;
  }
  if ((t.kind == TokenKind::kString || t.kind == TokenKind::kName) && t.text.size() == 4) {
    *out = FourCharCode(t.text.data());
    return true;
  }
  error("section code must be 4 characters or a number, got '" + t.text + "'");
  return false;
}

int32_t Assembler::find_segment(const std::string& name) const {
  std::string key = Lower(name);
  for (size_t i = 0; i < segment_names_.size(); ++i) {
    if (!key.empty() && segment_names_[i] == key) return static_cast<int32_t>(i);
  }
  return -1;
}

// kind 0: system, 1: global, 2: local of the current function.
void Assembler::declare_names(const std::vector<Token>& args, const char* what, int kind) {
  if (args.empty()) {
    error(std::string("'.") + what + "' expects at least one name");
    return;
  }
  for (const Token& t : args) {
    if (t.kind != TokenKind::kName && t.kind != TokenKind::kString) {
      error(std::string("'.") + what + "' expects names, got '" + t.text + "'");
      return;
    }
    if (t.text.empty()) {
      error(std::string("'.") + what + "' cannot declare an empty name");
      return;
    }
    int32_t n = static_cast<int32_t>(t.text.size());
    if (kind == 0) {
      writer_->add_system(t.text.data(), n);
    } else if (kind == 1) {
      writer_->add_global(t.text.data(), n);
    } else {
      writer_->add_local(function_, t.text.data(), n);
    }
  }
}

ByteSink* Assembler::data_target(ByteSink* scratch) { return in_section_ ? &section_ : scratch; }

void Assembler::emit_data(const std::string& name, const std::vector<Token>& args) {
  if (args.empty()) {
    error("'." + name + "' expects at least one value");
    return;
  }
  ByteSink scratch;
  ByteSink* out = data_target(&scratch);
  for (const Token& t : args) {
    if (name == "bytes" && t.kind == TokenKind::kString) {
      out->put_bytes(t.text);
      continue;
    }
    if (t.kind != TokenKind::kNumber) {
      error("'." + name + "' expects numbers, got '" + t.text + "'");
      return;
    }
    if (name == "double") {
      double d;
      if (!ParseDouble(t.text, &d)) {
        error("bad number '" + t.text + "'");
        return;
      }
      out->put_double(d);
      continue;
    }
    int32_t v;
    if (!ParseInt(t.text, &v)) {
      error("bad integer '" + t.text + "'");
      return;
    }
    if (name == "bytes") {
      if (v < -128 || v > 255) {
        error("byte out of range '" + t.text + "'");
        return;
      }
      out->put8(static_cast<uint32_t>(v));
    } else if (name == "word") {
      if (v < -32768 || v > 65535) {
        error("word out of range '" + t.text + "'");
        return;
      }
      out->put16(static_cast<uint32_t>(v));
    } else {
      out->put32(static_cast<uint32_t>(v));
    }
  }
  if (!in_section_) code()->append(scratch.bytes());
}

void Assembler::function_directive(const std::vector<Token>& args, bool external) {
  const char* what = external ? "extern" : "function";
  if (args.empty() || (args[0].kind != TokenKind::kName && args[0].kind != TokenKind::kString)) {
    error(std::string("'.") + what + "' expects a function name");
    return;
  }
  if (in_section_) {
    error("function inside a raw section");
    return;
  }
  const std::string& name = args[0].text;
  size_t i = 1;
  struct Param {
    std::string name;
    bool by_reference;
  };
  std::vector<Param> params;
  if (i < args.size() && args[i].kind == TokenKind::kOpen) {
    ++i;
    bool by_reference = false;
    while (i < args.size() && args[i].kind != TokenKind::kClose) {
      const Token& t = args[i++];
      if (t.kind == TokenKind::kName && Lower(t.text) == "var" && !by_reference && i < args.size() &&
          args[i].kind == TokenKind::kName) {
        by_reference = true;
        continue;
      }
      if (t.kind != TokenKind::kName && t.kind != TokenKind::kString) {
        error("bad parameter '" + t.text + "' of function '" + name + "'");
        return;
      }
      params.push_back(Param{t.text, by_reference});
      by_reference = false;
    }
    if (i >= args.size()) {
      error("missing ')' after the parameters of function '" + name + "'");
      return;
    }
    ++i;
  }
  uint32_t flags = external ? Function::kExternal : 0;
  for (; i < args.size(); ++i) {
    std::string word = Lower(args[i].text);
    if (args[i].kind == TokenKind::kName && word == "private") {
      flags |= Function::kPrivate;
    } else if (args[i].kind == TokenKind::kName && word == "external") {
      flags |= Function::kExternal;
    } else if (args[i].kind == TokenKind::kName && word == "flags") {
      int32_t raw;
      if (!want_int(args, i + 1, what, &raw)) return;
      flags = static_cast<uint32_t>(raw);
      ++i;
    } else {
      error("unknown function attribute '" + args[i].text + "'");
      return;
    }
  }
  int32_t segment = -1, offset = -1;
  bool has_body = !(flags & Function::kExternal) && !external;
  if (has_body) {
    offset = static_cast<int32_t>(code()->size());
    segment = segment_;
  }
  int32_t f = writer_->add_function(name.data(), static_cast<int32_t>(name.size()), flags, segment, offset);
  if (f < 0) {
    error("duplicate function '" + name + "'");
    return;
  }
  for (const Param& p : params) {
    if (writer_->add_parameter(f, p.name.data(), static_cast<int32_t>(p.name.size()), p.by_reference) < 0) {
      error("duplicate parameter '" + p.name + "' of function '" + name + "'");
    }
  }
  if (has_body) function_ = f;
}

void Assembler::section_directive(const std::vector<Token>& args) {
  if (in_section_) {
    error("'.section' inside a raw section (missing '.endsection')");
    return;
  }
  uint32_t c = 0;
  // A bad code still opens the section so that its '.endsection' matches.
  if (want_count(args, 1, "section")) section_code(args[0], &c);
  in_section_ = true;
  section_line_ = line_;
  section_code_ = c;
  section_ = ByteSink();
}

void Assembler::header_directive(const std::vector<Token>& args) {
  if (!want_count(args, 2, "header")) return;
  std::string field = Lower(args[0].text);
  std::string text;
  int32_t value;
  if (field == "magic") {
    if (!want_string(args, 1, "header", &text)) return;
    if (text.size() != 4) {
      error("magic must be 4 bytes");
      return;
    }
    writer_->set_magic(text.data());
  } else if (field == "identity") {
    if (!want_string(args, 1, "header", &text)) return;
    if (text.size() > 16) {
      error("identity longer than 16 bytes");
      return;
    }
    writer_->set_identity(text.data(), static_cast<int32_t>(text.size()));
  } else if (field == "version" || field == "directory_offset" || field == "directory_entries") {
    if (!want_int(args, 1, "header", &value)) return;
    if (field == "version") writer_->set_version(value);
    if (field == "directory_offset") writer_->set_directory_offset(static_cast<uint32_t>(value));
    if (field == "directory_entries") writer_->set_directory_entries(static_cast<uint32_t>(value));
  } else {
    error("unknown header field '" + args[0].text + "'");
  }
}

void Assembler::localized_directive(const std::vector<Token>& args) {
  std::string language, key;
  if (!want_string(args, 0, "localized", &language) || !want_string(args, 1, "localized", &key)) return;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i].kind != TokenKind::kString && args[i].kind != TokenKind::kName) {
      error("localized text pieces are strings or token names, got '" + args[i].text + "'");
      return;
    }
  }
  int32_t lang = writer_->add_language(language.data(), static_cast<int32_t>(language.size()));
  // The pieces of one text are consecutive; each links to the next.
  size_t count = args.size() - 2;
  int32_t first = count ? writer_->piece_count() : -1;
  for (size_t k = 0; k < count; ++k) {
    const Token& t = args[k + 2];
    int32_t text = writer_->intern(t.text.data(), static_cast<int32_t>(t.text.size()));
    uint32_t type = static_cast<uint32_t>(t.kind == TokenKind::kString ? LocalizedPiece::kText : LocalizedPiece::kToken);
    writer_->add_piece(type, text, k + 1 < count ? first + static_cast<int32_t>(k) + 1 : -1);
  }
  if (!writer_->add_localized_text(lang, key.data(), static_cast<int32_t>(key.size()), first)) {
    error("duplicate localized key '" + key + "' for language '" + language + "'");
  }
}

void Assembler::directive(const std::string& name, const std::vector<Token>& args) {
  if (name == "bytes" || name == "word" || name == "dword" || name == "double") {
    emit_data(name, args);
    return;
  }
  if (name == "endsection") {
    if (!in_section_) {
      error("'.endsection' without '.section'");
      return;
    }
    writer_->add_raw_section(section_code_, section_.bytes());
    in_section_ = false;
    return;
  }
  if (in_section_) {
    error("'." + name + "' inside a raw section (missing '.endsection')");
    return;
  }
  int32_t value;
  std::string text;
  if (name == "version") {
    if (want_count(args, 1, "version") && want_int(args, 0, "version", &value)) writer_->set_version(value);
  } else if (name == "identity") {
    if (!want_count(args, 1, "identity") || !want_string(args, 0, "identity", &text)) return;
    if (text.size() > 16) {
      error("identity longer than 16 bytes");
      return;
    }
    writer_->set_identity(text.data(), static_cast<int32_t>(text.size()));
  } else if (name == "dictflags") {
    if (want_count(args, 1, "dictflags") && want_int(args, 0, "dictflags", &value)) {
      writer_->set_dictionary_flags(static_cast<uint32_t>(value));
    }
  } else if (name == "string") {
    if (args.empty()) error("'.string' expects at least one string");
    for (size_t i = 0; i < args.size(); ++i) {
      if (!want_string(args, i, "string", &text)) return;
      writer_->intern(text.data(), static_cast<int32_t>(text.size()));
    }
  } else if (name == "system") {
    declare_names(args, "system", 0);
  } else if (name == "global") {
    declare_names(args, "global", 1);
  } else if (name == "local") {
    if (function_ < 0) {
      error("'.local' outside a function");
      return;
    }
    declare_names(args, "local", 2);
  } else if (name == "segment") {
    std::string seg_name;
    bool start = false;
    for (const Token& t : args) {
      if (t.kind == TokenKind::kName && Lower(t.text) == "start") {
        start = true;
      } else if (t.kind == TokenKind::kName && seg_name.empty()) {
        seg_name = t.text;
      } else {
        error("'.segment' expects an optional name and 'start', got '" + t.text + "'");
        return;
      }
    }
    if (!seg_name.empty() && find_segment(seg_name) >= 0) {
      error("duplicate segment '" + seg_name + "'");
      return;
    }
    segment_ = writer_->add_segment();
    segment_names_.push_back(Lower(seg_name));
    labels_.emplace_back();
    function_ = -1;
    if (start) {
      start_name_.clear();
      writer_->set_start_segment(segment_);
    }
  } else if (name == "start") {
    if (!want_count(args, 1, "start")) return;
    if (args[0].kind == TokenKind::kNumber && ParseInt(args[0].text, &value)) {
      writer_->set_start_segment(value);  // any number, so damaged files can be made
      start_name_.clear();
    } else if (args[0].kind == TokenKind::kName) {
      start_name_ = args[0].text;
      start_line_ = line_;
    } else {
      error("'.start' expects a segment name or number, got '" + args[0].text + "'");
    }
  } else if (name == "function") {
    function_directive(args, false);
  } else if (name == "extern") {
    function_directive(args, true);
  } else if (name == "end") {
    if (!want_count(args, 0, "end")) return;
    if (function_ < 0) error("'.end' outside a function");
    function_ = -1;
  } else if (name == "section") {
    section_directive(args);
  } else if (name == "omit") {
    uint32_t c;
    if (want_count(args, 1, "omit") && section_code(args[0], &c)) writer_->omit_section(c);
  } else if (name == "direntry") {
    uint32_t c;
    int32_t offset, size;
    if (want_count(args, 3, "direntry") && section_code(args[0], &c) && want_int(args, 1, "direntry", &offset) &&
        want_int(args, 2, "direntry", &size)) {
      writer_->add_directory_entry(c, offset, size);
    }
  } else if (name == "header") {
    header_directive(args);
  } else if (name == "bits") {
    static const char* const kKinds[] = {"system", "global", "locals", "functions", "languages", "keys"};
    if (!want_count(args, 2, "bits") || !want_int(args, 1, "bits", &value)) return;
    if (value < 0 || value > 15) {
      error("bucket bits must be between 0 and 15");
      return;
    }
    for (int k = 0; k < 6; ++k) {
      if (Lower(args[0].text) == kKinds[k]) {
        writer_->set_bucket_bits(static_cast<ProgramWriter::Hash>(k), value);
        return;
      }
    }
    error("unknown hash '" + args[0].text + "' (system, global, locals, functions, languages or keys)");
  } else if (name == "language") {
    if (want_count(args, 1, "language") && want_string(args, 0, "language", &text)) {
      writer_->add_language(text.data(), static_cast<int32_t>(text.size()));
    }
  } else if (name == "localized") {
    localized_directive(args);
  } else {
    error("unknown directive '." + name + "'");
  }
}

void Assembler::finish() {
  if (in_section_) {
    error_at(section_line_, "'.section' without '.endsection'");
    in_section_ = false;
  }
  code();  // a program has at least one segment
  if (!start_name_.empty()) {
    int32_t s = find_segment(start_name_);
    if (s < 0) {
      error_at(start_line_, "unknown segment '" + start_name_ + "'");
    } else {
      writer_->set_start_segment(s);
    }
  }
  for (const Fixup& f : fixups_) {
    int32_t value = -1;
    const char* n = f.name.data();
    int32_t len = static_cast<int32_t>(f.name.size());
    switch (f.role) {
      case Role::kSystem: value = writer_->find_system(n, len); break;
      case Role::kGlobal: value = writer_->find_global(n, len); break;
      case Role::kLocal:
        // Top-level code runs with the global hash as its local scope.
        value = f.function >= 0 ? writer_->find_local(f.function, n, len) : writer_->find_global(n, len);
        break;
      case Role::kFunction: value = writer_->find_function(n, len); break;
      case Role::kLabel: {
        const auto& labels = labels_[static_cast<size_t>(f.segment)];
        auto it = labels.find(Lower(f.name));
        if (it == labels.end()) {
          error_at(f.line, "unknown label '" + f.name + "'");
          continue;
        }
        // Relative to the first byte after the jump.
        value = it->second - static_cast<int32_t>(f.end);
        break;
      }
      default: break;
    }
    if (f.role != Role::kLabel && value < 0) {
      std::string noun = RoleNoun(f.role);
      if (f.role == Role::kLocal && f.function < 0) noun = "global variable";
      error_at(f.line, "unknown " + noun + " '" + f.name + "'");
      continue;
    }
    ByteSink patch;
    patch.put32(static_cast<uint32_t>(value));
    writer_->segment_code(f.segment)->replace(f.at, 4, patch.bytes());
  }
}

}  // namespace

bool Assemble(const char* text, int32_t length, const char* file_name, ProgramWriter* writer, String* errors) {
  length = text_length(text, length);
  Assembler assembler(file_name, writer);
  assembler.assemble(text ? text : "", static_cast<size_t>(length));
  assembler.report(errors);
  return assembler.ok();
}

bool AssembleFile(const char* path, ProgramWriter* writer, String* errors) {
  FILE* f = std::fopen(path, "rb");
  if (!f) {
    if (errors) {
      errors->assign("cannot read '");
      errors->append(path);
      errors->append("': ");
      errors->append(std::strerror(errno));
    }
    return false;
  }
  std::string text;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed || text.size() > 0x7FFFFFFF) {
    if (errors) {
      errors->assign("cannot read '");
      errors->append(path);
      errors->append("'");
    }
    return false;
  }
  return Assemble(text.data(), static_cast<int32_t>(text.size()), path, writer, errors);
}

bool AssembleToFile(const char* source_path, const char* output, String* errors) {
  ProgramWriter writer;
  if (!AssembleFile(source_path, &writer, errors)) return false;
  return writer.write_file(output, errors);
}

}  // namespace pexo
