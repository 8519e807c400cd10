// The library's entry points and its function descriptor table. Every
// function goes through Dispatch, which skips the shutdown call (none but
// random keeps private data) and keeps C++ exceptions inside the library.
#include <new>
#include <string>

#include "aggregate_functions.h"
#include "date_functions.h"
#include "encoding_functions.h"
#include "number_functions.h"
#include "output_functions.h"
#include "std_call.h"
#include "text_functions.h"
#include "variable_functions.h"

namespace pexo {
namespace stdlib {
namespace {

void Dispatch(const char* name, StdFunction function, PexoProgram* program,
              PexoVariableHash* parameters, PexoVariable* result) {
  if (!program) return;  // the shutdown call: nothing to free
  StdCall call(name, program, parameters, result);
  try {
    function(call);
  } catch (const std::bad_alloc&) {
    pxProgram_FatalError(program, "Out of memory in a standard library function", -1);
  } catch (...) {
    pxProgram_FatalError(program, "Internal error in a standard library function", -1);
  }
}

#define PEXO_STD_ENTRY(entry, name, function)                                          \
  void entry(PexoProgram* program, PexoVariableHash* parameters, PexoVariable* result, \
             void**) {                                                                 \
    Dispatch(name, function, program, parameters, result);                             \
  }

PEXO_STD_ENTRY(LengthEntry, "length", Length)
PEXO_STD_ENTRY(LeftEntry, "left", Left)
PEXO_STD_ENTRY(RightEntry, "right", Right)
PEXO_STD_ENTRY(MidEntry, "mid", Mid)
PEXO_STD_ENTRY(UpperEntry, "upper", Upper)
PEXO_STD_ENTRY(LowerEntry, "lower", Lower)
PEXO_STD_ENTRY(TrimEntry, "trim", Trim)
PEXO_STD_ENTRY(LTrimEntry, "ltrim", LTrim)
PEXO_STD_ENTRY(RTrimEntry, "rtrim", RTrim)
PEXO_STD_ENTRY(ReplaceEntry, "replace", Replace)
PEXO_STD_ENTRY(SplitEntry, "split", Split)
PEXO_STD_ENTRY(JoinEntry, "join", Join)
PEXO_STD_ENTRY(PadEntry, "pad", Pad)
PEXO_STD_ENTRY(RepeatEntry, "repeat", Repeat)
PEXO_STD_ENTRY(ReverseEntry, "reverse", Reverse)
PEXO_STD_ENTRY(NumberFormatEntry, "numberformat", NumberFormat)
PEXO_STD_ENTRY(ChrEntry, "chr", Chr)
PEXO_STD_ENTRY(OrdEntry, "ord", Ord)
PEXO_STD_ENTRY(AbsEntry, "abs", Abs)
PEXO_STD_ENTRY(IntEntry, "int", Int)
PEXO_STD_ENTRY(RoundEntry, "round", Round)
PEXO_STD_ENTRY(FloorEntry, "floor", Floor)
PEXO_STD_ENTRY(CeilEntry, "ceil", Ceil)
PEXO_STD_ENTRY(MinEntry, "min", Min)
PEXO_STD_ENTRY(MaxEntry, "max", Max)
PEXO_STD_ENTRY(IsNumberEntry, "isnumber", IsNumber)
PEXO_STD_ENTRY(NowEntry, "now", Now)
PEXO_STD_ENTRY(DateFormatEntry, "dateformat", DateFormat)
PEXO_STD_ENTRY(DateParseEntry, "dateparse", DateParse)
PEXO_STD_ENTRY(DateAddEntry, "dateadd", DateAdd)
PEXO_STD_ENTRY(DateDiffEntry, "datediff", DateDiff)
PEXO_STD_ENTRY(DayOfWeekEntry, "dayofweek", DayOfWeek)
PEXO_STD_ENTRY(CountEntry, "count", Count)
PEXO_STD_ENTRY(KeysEntry, "keys", Keys)
PEXO_STD_ENTRY(SortEntry, "sort", Sort)
PEXO_STD_ENTRY(SearchEntry, "search", Search)
PEXO_STD_ENTRY(SliceEntry, "slice", Slice)
PEXO_STD_ENTRY(UrlEncodeEntry, "urlencode", UrlEncode)
PEXO_STD_ENTRY(UrlDecodeEntry, "urldecode", UrlDecode)
PEXO_STD_ENTRY(HtmlEncodeEntry, "htmlencode", HtmlEncode)
PEXO_STD_ENTRY(HtmlDecodeEntry, "htmldecode", HtmlDecode)
PEXO_STD_ENTRY(Base64EncodeEntry, "base64encode", Base64Encode)
PEXO_STD_ENTRY(Base64DecodeEntry, "base64decode", Base64Decode)
PEXO_STD_ENTRY(JsonEncodeEntry, "jsonencode", JsonEncode)
PEXO_STD_ENTRY(JsonDecodeEntry, "jsondecode", JsonDecode)
PEXO_STD_ENTRY(Md5Entry, "md5", Md5)
PEXO_STD_ENTRY(Sha256Entry, "sha256", Sha256)
PEXO_STD_ENTRY(TypeEntry, "type", Type)
PEXO_STD_ENTRY(IsEmptyEntry, "isempty", IsEmpty)
PEXO_STD_ENTRY(IsDefinedEntry, "isdefined", IsDefined)
PEXO_STD_ENTRY(HeaderEntry, "header", Header)

#undef PEXO_STD_ENTRY

// random() keeps its generator in the private data, freed by the shutdown
// call, so it takes the data pointer itself.
void RandomEntry(PexoProgram* program, PexoVariableHash* parameters, PexoVariable* result,
                 void** data) {
  StdCall call("random", program, parameters, result);
  try {
    Random(call, data);
  } catch (...) {
    if (program) pxProgram_FatalError(program, "Internal error in a standard library function", -1);
  }
}

constexpr PxParameterDescriptor P(const char* name) {
  return PxParameterDescriptor{name, static_cast<int32_t>(std::char_traits<char>::length(name)),
                               0};
}

// Parameter lists, shared by the functions of the same shape.
const PxParameterDescriptor kText[] = {P("text")};
const PxParameterDescriptor kTextCount[] = {P("text"), P("count")};
const PxParameterDescriptor kTextStartCount[] = {P("text"), P("start"), P("count")};
const PxParameterDescriptor kReplace[] = {P("text"), P("search"), P("replacement")};
const PxParameterDescriptor kSplit[] = {P("text"), P("separator")};
const PxParameterDescriptor kJoin[] = {P("aggregate"), P("separator")};
const PxParameterDescriptor kPad[] = {P("text"), P("width"), P("fill")};
const PxParameterDescriptor kNumberFormat[] = {P("number"), P("decimals"), P("point"),
                                               P("separator")};
const PxParameterDescriptor kCode[] = {P("code")};
const PxParameterDescriptor kNumber[] = {P("number")};
const PxParameterDescriptor kRound[] = {P("number"), P("decimals")};
const PxParameterDescriptor kPair[] = {P("a"), P("b")};
const PxParameterDescriptor kRange[] = {P("low"), P("high")};
const PxParameterDescriptor kValue[] = {P("value")};
const PxParameterDescriptor kDatePattern[] = {P("date"), P("pattern")};
const PxParameterDescriptor kTextPattern[] = {P("text"), P("pattern")};
const PxParameterDescriptor kDateAdd[] = {P("date"), P("amount"), P("unit")};
const PxParameterDescriptor kDateDiff[] = {P("from"), P("to"), P("unit")};
const PxParameterDescriptor kDate[] = {P("date")};
const PxParameterDescriptor kAggregate[] = {P("aggregate")};
const PxParameterDescriptor kSort[] = {P("aggregate"), P("mode")};
const PxParameterDescriptor kSearch[] = {P("aggregate"), P("value")};
const PxParameterDescriptor kSlice[] = {P("aggregate"), P("start"), P("count")};
const PxParameterDescriptor kName[] = {P("name")};
const PxParameterDescriptor kHeader[] = {P("name"), P("value")};

template <size_t N>
constexpr PxFunctionDescriptor F(const char* name, PxFunction function,
                                 const PxParameterDescriptor (&parameters)[N]) {
  return PxFunctionDescriptor{name, static_cast<int32_t>(std::char_traits<char>::length(name)),
                              static_cast<int32_t>(N), parameters, function};
}

const PxFunctionDescriptor kFunctions[] = {
    F("length", LengthEntry, kText),
    F("left", LeftEntry, kTextCount),
    F("right", RightEntry, kTextCount),
    F("mid", MidEntry, kTextStartCount),
    F("upper", UpperEntry, kText),
    F("lower", LowerEntry, kText),
    F("trim", TrimEntry, kText),
    F("ltrim", LTrimEntry, kText),
    F("rtrim", RTrimEntry, kText),
    F("replace", ReplaceEntry, kReplace),
    F("split", SplitEntry, kSplit),
    F("join", JoinEntry, kJoin),
    F("pad", PadEntry, kPad),
    F("repeat", RepeatEntry, kTextCount),
    F("reverse", ReverseEntry, kText),
    F("numberformat", NumberFormatEntry, kNumberFormat),
    F("chr", ChrEntry, kCode),
    F("ord", OrdEntry, kText),
    F("abs", AbsEntry, kNumber),
    F("int", IntEntry, kNumber),
    F("round", RoundEntry, kRound),
    F("floor", FloorEntry, kNumber),
    F("ceil", CeilEntry, kNumber),
    F("min", MinEntry, kPair),
    F("max", MaxEntry, kPair),
    F("random", RandomEntry, kRange),
    F("isnumber", IsNumberEntry, kValue),
    PxFunctionDescriptor{"now", 3, 0, nullptr, NowEntry},
    F("dateformat", DateFormatEntry, kDatePattern),
    F("dateparse", DateParseEntry, kTextPattern),
    F("dateadd", DateAddEntry, kDateAdd),
    F("datediff", DateDiffEntry, kDateDiff),
    F("dayofweek", DayOfWeekEntry, kDate),
    F("count", CountEntry, kAggregate),
    F("keys", KeysEntry, kAggregate),
    F("sort", SortEntry, kSort),
    F("search", SearchEntry, kSearch),
    F("slice", SliceEntry, kSlice),
    F("urlencode", UrlEncodeEntry, kText),
    F("urldecode", UrlDecodeEntry, kText),
    F("htmlencode", HtmlEncodeEntry, kText),
    F("htmldecode", HtmlDecodeEntry, kText),
    F("base64encode", Base64EncodeEntry, kText),
    F("base64decode", Base64DecodeEntry, kText),
    F("jsonencode", JsonEncodeEntry, kValue),
    F("jsondecode", JsonDecodeEntry, kText),
    F("md5", Md5Entry, kText),
    F("sha256", Sha256Entry, kText),
    F("type", TypeEntry, kValue),
    F("isempty", IsEmptyEntry, kValue),
    F("isdefined", IsDefinedEntry, kName),
    F("header", HeaderEntry, kHeader),
    PxFunctionDescriptor{nullptr, 0, 0, nullptr, nullptr},
};

const PxFunctionTable kTable = {0, kFunctions};

}  // namespace
}  // namespace stdlib
}  // namespace pexo

extern "C" {

// The API is bound by the dynamic linker against the program that loads
// this library, so the engine handle is not needed.
PEXO_API void pexo_register_library(void* /*engine_module*/) {}

PEXO_API const PxFunctionTable* pexo_function_table(void) { return &pexo::stdlib::kTable; }

}  // extern "C"
