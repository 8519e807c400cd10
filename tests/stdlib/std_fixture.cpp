#include "std_fixture.h"

#include "ext/external_function.h"
#include "pexo/pexo.h"

namespace pexo {
namespace {

PexoVariable* Handle(Variable* variable) { return reinterpret_cast<PexoVariable*>(variable); }

// The machine's operand stack as the external call path sees it.
class ArgumentStack : public ExternalArguments {
 public:
  explicit ArgumentStack(std::vector<Variable*> values) : values_(std::move(values)) {}
  ~ArgumentStack() override {
    for (Variable* v : values_) v->Release();
  }
  Variable* PopVariable(String*) override {
    Variable* top = values_.back();
    values_.pop_back();
    return top;
  }
  bool PopInto(Variable* target, String*) override {
    Variable* top = values_.back();
    values_.pop_back();
    target->SetValue_Variable(top);
    top->Release();
    return true;
  }

 private:
  std::vector<Variable*> values_;
};

}  // namespace

Variable* Text(const char* text) {
  Variable* v = new Variable();
  v->SetValue(text);
  return v;
}

Variable* Integer(int32_t value) {
  Variable* v = new Variable();
  v->SetValue_Integer(value);
  return v;
}

Variable* Decimal(const char* text) {
  Variable* v = new Variable();
  pxVariable_SetValue_Decimal_String(Handle(v), text, -1);
  return v;
}

Variable* Array(const std::vector<const char*>& texts) {
  Variable* v = new Variable();
  int32_t index = 0;
  for (const char* text : texts) {
    Variable* element = Text(text);
    pxVariable_Set_Array_Element(++index, Handle(element), Handle(v));
    element->Release();
  }
  if (texts.empty()) {  // an empty array: one element stored and removed
    Variable* element = Text("");
    pxVariable_Set_Array_Element(1, Handle(element), Handle(v));
    element->Release();
    pxVariable_Delete_Array_Elements(1, 1, 0, Handle(v));
  }
  return v;
}

Variable* Struct(const std::vector<std::pair<const char*, const char*>>& members) {
  Variable* v = new Variable();
  for (const auto& member : members) {
    Variable* element = Text(member.second);
    pxVariable_Set_Struct_Member(member.first, -1, Handle(element), Handle(v));
    element->Release();
  }
  return v;
}

std::string Render(Variable* variable) {
  PexoVariable* v = Handle(variable);
  int kind = pxVariable_Aggregate_Type(v);
  if (kind == PX_AGGREGATE_SCALAR) {
    int32_t length = 0;
    const char* text = pxVariable_Value(v, &length);
    return std::string(text, static_cast<size_t>(length));
  }
  PexoVariableList* list = pxVariableList_Allocate();
  pxVariable_Aggregate_List(v, list);
  std::string out = kind == PX_AGGREGATE_ARRAY ? "[" : "{";
  bool first = true;
  for (PexoVariable* e = pxVariableList_First(list); e; e = pxVariableList_Next(list)) {
    if (!first) out += ",";
    first = false;
    out += pxVariable_Name(e, nullptr);
    out += "=" + Render(reinterpret_cast<Variable*>(pxVariable_RealIdentity(e)));
  }
  pxVariableList_Free(list);
  return out + (kind == PX_AGGREGATE_ARRAY ? "]" : "}");
}

StdLibraryTest::StdLibraryTest() : calls_(new ExternalCallManager(&libraries_)) {
  ApiExportCount();  // links every API function into this program
  String error;
  EXPECT_EQ(calls_->AddLibrary(PEXO_STD_LIBRARY, &error), 1) << error.c_str();
  context_.SetCharacterSet("UTF-8", -1);
}

StdLibraryTest::~StdLibraryTest() {
  functions_.clear();
  calls_.reset();  // before the library is unloaded with the manager
}

Variable* StdLibraryTest::Call(const char* name, std::vector<Variable*> arguments) {
  ArgumentStack stack(arguments);
  ExternalCall* call = calls_->Find(name, -1);
  if (!call) {
    ADD_FAILURE() << "no library function " << name;
    return nullptr;
  }
  // Declare it as a program would: the library's parameters, in order.
  UserVariableHash scope;
  functions_.emplace_back(new Function(static_cast<int32_t>(functions_.size()), -1, name, -1,
                                       Function::kExternal, -1, -1, nullptr));
  Function* function = functions_.back().get();
  for (int32_t i = 0; i < static_cast<int32_t>(arguments.size()); ++i) {
    FunctionParameter parameter;
    parameter.name.assign(std::string("p" + std::to_string(i)).c_str());
    parameter.local_index = scope.InsertName(parameter.name.c_str(), -1);
    function->mutable_parameters().push_back(parameter);
  }
  Variable* result = nullptr;
  String error;
  app_.fatal.clear();
  if (!CallExternalFunction(calls_.get(), function, &context_, &scope, &stack, &result,
                            &error)) {
    app_.fatal.push_back(std::string("CALL: ") + error.c_str());
    return nullptr;
  }
  return result;
}

std::string StdLibraryTest::Run(const char* name, std::vector<Variable*> arguments) {
  Variable* result = Call(name, std::move(arguments));
  if (!app_.fatal.empty()) {
    if (result) result->Release();
    return "ERROR: " + app_.last_fatal();
  }
  if (!result) return "NO RESULT";
  std::string out = Render(result);
  result->Release();
  return out;
}

}  // namespace pexo
