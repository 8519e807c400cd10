// StdCall: one call of a library function as the functions of this library
// see it: typed access to the parameters, result setters, and failures
// raised as run-time errors through the engine.
//
// Texts handed out by Text() point into the parameter variable and stay
// valid until that variable changes; no function here changes its
// parameters, so they last the whole call. Every result this library makes
// is bounded by kMaxResultBytes: a function that would exceed it fails.
#ifndef PEXO_STD_STD_CALL_H_
#define PEXO_STD_STD_CALL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "pexo/pexo.h"

namespace pexo {
namespace stdlib {

constexpr int64_t kMaxResultBytes = 16 * 1024 * 1024;

class StdCall {
 public:
  StdCall(const char* name, PexoProgram* program, PexoVariableHash* parameters,
          PexoVariable* result)
      : name_(name), program_(program), parameters_(parameters), result_(result) {}

  PexoProgram* program() const { return program_; }
  PexoVariable* result() const { return result_; }
  const char* name() const { return name_; }

  // The parameter at `index` (declaration order); never null for a declared one.
  PexoVariable* Arg(int32_t index) const;
  std::string_view Text(int32_t index) const;
  int32_t Int(int32_t index) const;
  double Double(int32_t index) const;
  // The decimal text of the value ("NaN", "Infinity" included); a value that
  // is not a number gives "0", as every conversion of the engine does.
  std::string DecimalText(int32_t index) const;
  // True when the value is a finite number (the empty text is not).
  bool IsNumber(int32_t index) const;

  void ReturnText(std::string_view text);
  void ReturnInteger(int64_t value);
  void ReturnBoolean(bool value) { ReturnInteger(value ? 1 : 0); }
  // `text` holds a decimal in positional notation, or NaN / Infinity.
  void ReturnDecimal(const std::string& text);

  // Raises the run-time error "<name>(): <reason>". Returns false so that
  // callers can write `return call.Fail(...)` in predicates.
  bool Fail(std::string_view reason) const;
  // Fails unless a result of `bytes` bytes is allowed.
  bool CheckSize(int64_t bytes) const;

 private:
  const char* name_;
  PexoProgram* program_;
  PexoVariableHash* parameters_;
  PexoVariable* result_;
};

// Library functions take a StdCall; the table adapts them to the engine's
// calling protocol.
typedef void (*StdFunction)(StdCall& call);

}  // namespace stdlib
}  // namespace pexo

#endif  // PEXO_STD_STD_CALL_H_
