#include "expr_fixture.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "program/segment.h"
#include "program/opcodes.h"

namespace pexo {
namespace testing_expr {

namespace {

bool HasDictionaryOperands(uint16_t word) {
  return word == 0x4001 || word == 0x400A || word == 0x5008 || word == 0x404A;
}

int32_t ReadInt(const unsigned char* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(v);
}

std::string Operand(OperandKind kind, const unsigned char* p, bool text, const StringAt& at) {
  if (kind == OperandKind::kDouble) {
    double d;
    std::memcpy(&d, p, 8);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", d);
    return buffer;
  }
  int32_t value = ReadInt(p);
  return text ? "\"" + at(value) + "\"" : std::to_string(value);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string Render(const unsigned char* code, int32_t length, const StringAt& string_at) {
  std::string out;
  int32_t pc = 0;
  while (pc + 2 <= length) {
    uint16_t word = static_cast<uint16_t>(code[pc] | code[pc + 1] << 8);
    if (pc + InstructionSize(word) > length) return out + "<truncated>\n";
    const OpcodeInfo* info = FindOpcode(word);
    out += info ? info->mnemonic : "?";
    int32_t at = pc + 2;
    OperandKind first = FirstOperandKind(word);
    OperandKind second = SecondOperandKind(word);
    bool text = HasDictionaryOperands(word);
    if (first != OperandKind::kNone) out += " " + Operand(first, code + at, text, string_at);
    at += OperandSize(first);
    if (second != OperandKind::kNone) out += ", " + Operand(second, code + at, text, string_at);
    out += "\n";
    pc += InstructionSize(word);
  }
  return out;
}

void FakeLibrary::Add(const std::string& name,
                      std::vector<std::pair<std::string, int32_t>> parameters) {
  functions_[Lower(name)] = std::move(parameters);
}

bool FakeLibrary::FindExternalFunction(const char* name, int32_t length,
                                       ExternalFunctionInfo* info) {
  ++lookups;
  auto it = functions_.find(Lower(std::string(name, static_cast<size_t>(length))));
  if (it == functions_.end()) return false;
  info->binding = &it->second;
  info->parameters.clear();
  for (const auto& p : it->second)
    info->parameters.push_back({p.first.data(), static_cast<int32_t>(p.first.size()), p.second});
  return true;
}

ExprTest::ExprTest() {
  library_.Add("len", {{"text", 0}});
  library_.Add("swap2", {{"first", 1}, {"second", 1}});
  library_.Add("now", {});
}

ExpressionProgram ExprTest::Program(FunctionManager* other) {
  ExpressionProgram program;
  program.externals = &library_;
  program.segments = &segments_;
  program.dictionary = &dictionary_;
  program.functions = &functions_;
  program.other_functions = other;
  return program;
}

std::string ExprTest::Compile(const std::string& text, ExpressionOptions options,
                              FunctionManager* other) {
  ExpressionCompiler compiler(Program(other), text.data(), static_cast<int32_t>(text.size()),
                              options);
  if (!compiler.compile()) return std::string("error: ") + compiler.error().c_str();
  Segment* segment = compiler.segment();
  int32_t start = options.segment ? options.start : 0;
  return Render(segment->code() + start, compiler.position() - start, [this](int32_t i) {
    int32_t length = 0;
    const char* bytes = dictionary_.get(i, &length);
    return bytes ? std::string(bytes, static_cast<size_t>(length)) : std::string("<bad index>");
  });
}

std::string ExprTest::CompileError(const std::string& text, ExpressionOptions options) {
  std::string result = Compile(text, options);
  return result.rfind("error: ", 0) == 0 ? result.substr(7) : "compiled: " + result;
}

}  // namespace testing_expr
}  // namespace pexo
