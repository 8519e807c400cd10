#include <gtest/gtest.h>

#include <string>

#include "expr/dynamic_expression.h"
#include "expr/expression_compiler.h"
#include "expr_fixture.h"
#include "program/segment.h"

namespace pexo {
namespace testing_expr {
namespace {

struct CodeCase {
  const char* expression;
  const char* assembly;  // the same code written by hand
};

// Compiled code must equal the hand-written code instruction for
// instruction, with dictionary operands compared by their texts.
class CompiledCode : public ExprTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(CompiledCode, MatchesHandAssembly) {
  const CodeCase& c = GetParam();
  std::string expected = AssembleAndRender(c.assembly);
  ASSERT_EQ(expected.rfind("assembly failed", 0), std::string::npos) << expected;
  EXPECT_EQ(Compile(c.expression), expected) << c.expression;
}

const char kPostfixIncrement[] =
    "pushnc \"x\"\n dup\n pushi 0\n add\n swap\n dup\n pushi 1\n add\n swap\n store\n";
const char kPrefixDecrement[] =
    "pushnc \"x\"\n dup\n pushi 1\n sub\n dup\n swapn 0, 2\n store\n";

INSTANTIATE_TEST_SUITE_P(
    Precedence, CompiledCode,
    ::testing::Values(
        CodeCase{"1 + 2 * 3", "pushi 1\n pushi 2\n pushi 3\n mul\n add\n"},
        CodeCase{"1 * 2 + 3", "pushi 1\n pushi 2\n mul\n pushi 3\n add\n"},
        CodeCase{"10 - 2 - 3", "pushi 10\n pushi 2\n sub\n pushi 3\n sub\n"},
        CodeCase{"a OR b AND c", "pushnc \"a\"\n pushnc \"b\"\n or\n pushnc \"c\"\n and\n"},
        CodeCase{"a AND b OR c", "pushnc \"a\"\n pushnc \"b\"\n and\n pushnc \"c\"\n or\n"},
        CodeCase{"a EQ 1 OR b NE 2",
                 "pushnc \"a\"\n pushi 1\n eq\n pushnc \"b\"\n pushi 2\n ne\n or\n"},
        CodeCase{"2 POW 3 * 4", "pushi 2\n pushi 3\n pow\n pushi 4\n mul\n"},
        CodeCase{"(1 + 2) * 3", "pushi 1\n pushi 2\n add\n pushi 3\n mul\n"},
        CodeCase{"a * (b + c)", "pushnc \"a\"\n pushnc \"b\"\n pushnc \"c\"\n add\n mul\n"},
        CodeCase{"((7))", "pushi 7\n"},
        CodeCase{"NOT(a EQ b)", "pushnc \"a\"\n pushnc \"b\"\n eq\n not\n"},
        CodeCase{"NOT a EQ b", "pushnc \"a\"\n not\n pushnc \"b\"\n eq\n"},
        CodeCase{"NOT ISNULL x", "pushnc \"x\"\n isnull\n not\n"},
        CodeCase{"ISNULL(x) AND y", "pushnc \"x\"\n isnull\n pushnc \"y\"\n and\n"},
        CodeCase{"a + NOT b", "pushnc \"a\"\n pushnc \"b\"\n not\n add\n"},
        CodeCase{"BITOC 5 BITAND 3", "pushi 5\n bitoc\n pushi 3\n bitand\n"},
        CodeCase{"a $ 'b' $ c", "pushnc \"a\"\n pushc \"b\"\n cat\n pushnc \"c\"\n cat\n"},
        CodeCase{"4 / 2 MOD 3", "pushi 4\n pushi 2\n div\n pushi 3\n mod\n"},
        CodeCase{"1 BITOR 2 BITXOR 3 BITSL 4 BITSR 5",
                 "pushi 1\n pushi 2\n bitor\n pushi 3\n bitxor\n pushi 4\n bitsl\n pushi 5\n"
                 " bitsr\n"},
        CodeCase{"x ROUNDS 2 $ y ROUNDF 1",
                 "pushnc \"x\"\n pushi 2\n rounds\n pushnc \"y\"\n pushi 1\n roundf\n cat\n"},
        CodeCase{"'pw' CRYPT 'ab'", "pushc \"pw\"\n pushc \"ab\"\n crypt\n"},
        CodeCase{"'a' IN b CIN c EIN d ECIN e",
                 "pushc \"a\"\n pushnc \"b\"\n in\n pushnc \"c\"\n cin\n pushnc \"d\"\n ein\n"
                 " pushnc \"e\"\n ecin\n"},
        CodeCase{"a GE 1 AND b LE 2 AND c LT 3 AND d GT 4",
                 "pushnc \"a\"\n pushi 1\n ge\n pushnc \"b\"\n pushi 2\n le\n and\n"
                 " pushnc \"c\"\n pushi 3\n lt\n and\n pushnc \"d\"\n pushi 4\n gt\n and\n"},
        CodeCase{"a-1", "pushnc \"a\"\n pushi 1\n sub\n"},
        CodeCase{"a - -1", "pushnc \"a\"\n pushi -1\n sub\n"},
        CodeCase{"(a)-1", "pushnc \"a\"\n pushi 1\n sub\n"},
        CodeCase{"len(a)-1", ".extern len(t)\n pushnc \"a\"\n call len\n pushi 1\n sub\n"},
        CodeCase{"\t1\r\n+\n2 ", "pushi 1\n pushi 2\n add\n"}));

INSTANTIATE_TEST_SUITE_P(
    Operands, CompiledCode,
    ::testing::Values(
        CodeCase{"x eq 5", "pushnc \"x\"\n pushi 5\n eq\n"},
        CodeCase{"x EQ 5", "pushnc \"x\"\n pushi 5\n eq\n"},
        CodeCase{"x Eq 5", "pushnc \"x\"\n pushi 5\n eq\n"},
        CodeCase{"xeq5", "pushnc \"xeq5\"\n"},
        CodeCase{"_and EQ 1", "pushnc \"_and\"\n pushi 1\n eq\n"},
        CodeCase{"-5 + 1", "pushi -5\n pushi 1\n add\n"},
        CodeCase{"99999999999", "pushi 1215752191\n"},
        CodeCase{"0x1F", "pushi 31\n"},
        CodeCase{"1.5", "pushf 1.5\n"},
        CodeCase{".25", "pushf 0.25\n"},
        CodeCase{"-.5", "pushf -0.5\n"},
        CodeCase{"-0x10", "pushc \"-0x10\"\n"},
        CodeCase{"'it\\'s'", "pushc \"it's\"\n"},
        CodeCase{"\"say \\\"hi\\\"\"", "pushc \"say \\\"hi\\\"\"\n"},
        CodeCase{"'a\\b'", "pushc \"a\\\\b\"\n"},
        CodeCase{"''", "pushc \"\"\n"},
        CodeCase{"'a+b' $ \"(\"", "pushc \"a+b\"\n pushc \"(\"\n cat\n"},
        CodeCase{"", ""},
        CodeCase{"   ", ""}));

INSTANTIATE_TEST_SUITE_P(
    Variables, CompiledCode,
    ::testing::Values(
        CodeCase{"a[1 + 1]:name",
                 "pushnc \"a\"\n pushi 1\n pushi 1\n add\n elem\n pushc \"name\"\n memb\n"},
        CodeCase{"a:b:c[2]",
                 "pushnc \"a\"\n pushc \"b\"\n memb\n pushc \"c\"\n memb\n pushi 2\n elem\n"},
        CodeCase{"m[i[1]]", "pushnc \"m\"\n pushnc \"i\"\n pushi 1\n elem\n elem\n"},
        CodeCase{"l.x + g.y", "pushnc \"l.x\"\n pushnc \"g.y\"\n add\n"},
        CodeCase{"local.total", "pushnc \"local.total\"\n"},
        CodeCase{"l.d.x", "pushnc \"l.d.x\"\n"},
        CodeCase{"d.name", "pushnc \"d.name\"\n"},
        CodeCase{"a.d.name", "pushdc \"a\", \"name\"\n"},
        CodeCase{"A.D.Name", "pushdc \"A\", \"Name\"\n"},
        CodeCase{"orders.database.total", "pushdc \"orders\", \"total\"\n"},
        CodeCase{"cust.d.tags[2]", "pushdc \"cust\", \"tags\"\n pushi 2\n elem\n"},
        CodeCase{"x++", kPostfixIncrement},
        CodeCase{"--x", kPrefixDecrement},
        CodeCase{"++x + 1",
                 "pushnc \"x\"\n dup\n pushi 1\n add\n dup\n swapn 0, 2\n store\n pushi 1\n"
                 " add\n"},
        CodeCase{"1 + x--",
                 "pushi 1\n pushnc \"x\"\n dup\n pushi 0\n add\n swap\n dup\n pushi 1\n sub\n"
                 " swap\n store\n add\n"}));

TEST_F(ExprTest, DefaultAliasTurnsDatabaseFieldsIntoAliasFields) {
  ExpressionOptions options;
  options.alias = "cust";
  EXPECT_EQ(Compile("d.name $ database.city $ x $ o.d.id", options),
            AssembleAndRender("pushdc \"cust\", \"name\"\n pushdc \"cust\", \"city\"\n cat\n"
                              " pushnc \"x\"\n cat\n pushdc \"o\", \"id\"\n cat\n"));
}

struct ErrorCase {
  const char* expression;
  const char* message;
};

class CompileErrors : public ExprTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(CompileErrors, ReportTheMessageVerbatim) {
  EXPECT_EQ(CompileError(GetParam().expression), GetParam().message) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CompileErrors,
    ::testing::Values(
        ErrorCase{"-x", "Argument expected in Expression"},
        ErrorCase{"* 2", "Argument expected in Expression"},
        ErrorCase{"1 + * 2", "Argument expected in Expression"},
        ErrorCase{"a AND OR b", "Argument expected in Expression"},
        ErrorCase{"a[ ]", "Argument expected in Expression"},
        ErrorCase{"(1 + 2", "Mismatched Parentheses in Expression"},
        ErrorCase{"2 * (3", "Mismatched Parentheses in Expression"},
        ErrorCase{"len(1", "Mismatched Parentheses found in Expression"},
        ErrorCase{"a[1", "Mismatched Parentheses found in Expression"},
        ErrorCase{"'abc", "Mismatched Quotes found in Expression"},
        ErrorCase{"a $ \"x'", "Mismatched Quotes found in Expression"},
        ErrorCase{"'it\\'", "Mismatched Quotes found in Expression"},
        ErrorCase{"(a $ 'b)", "Mismatched Quotes found in Expression"},
        ErrorCase{"a)", "Invalid Argument ')' in Expression"},
        ErrorCase{"a^b", "Invalid Argument '^' in Expression"},
        ErrorCase{"a:", "Invalid Argument ':' in Expression"},
        ErrorCase{"a[1]b", "Invalid Argument 'b' in Expression"},
        ErrorCase{"^a", "Invalid Argument '^' Found in expression"},
        ErrorCase{"|", "Invalid Argument '|' Found in expression"},
        ErrorCase{".x", "Invalid Argument '.' Found in expression"},
        ErrorCase{"+5", "Invalid Argument '+' Found in expression"},
        ErrorCase{"12abc", "Found additional argument 'a' while looking for operator"},
        ErrorCase{"1.2.3", "Found additional argument '.' while looking for operator"},
        ErrorCase{"0x", "Found additional argument 'x' while looking for operator"},
        ErrorCase{"'a' 'b'", "Found additional argument ''' while looking for operator"},
        ErrorCase{"a b", "Found additional argument 'b' while looking for operator"},
        ErrorCase{"a NOT b", "Found additional argument 'N' while looking for operator"},
        ErrorCase{"a (b)", "Found additional argument '(' while looking for operator"},
        ErrorCase{"(a) b", "Found additional argument 'b' while looking for operator"},
        ErrorCase{"len(1, 2)", "Function 'len' is defined with 1 parameters and was called with 2"},
        ErrorCase{"LEN()", "Function 'LEN' is defined with 1 parameters and was called with 0"},
        ErrorCase{"now(1)", "Function 'now' is defined with 0 parameters and was called with 1"},
        ErrorCase{"swap2(a,)", "Function 'swap2' is defined with 2 parameters and was called with 1"},
        ErrorCase{"nosuch(1)", "Unable to find function 'nosuch'"},
        ErrorCase{"1 + len(nosuch(2))", "Unable to find function 'nosuch'"}));

TEST_F(ExprTest, IncrementNeedsARecentVersion) {
  ExpressionOptions old;
  old.version = 65544;
  EXPECT_EQ(CompileError("x++", old), "Invalid operator found in expression");
  EXPECT_EQ(CompileError("--x", old), "Invalid operator found in expression");
  EXPECT_EQ(CompileError("x + 1", old), "compiled: pushnc \"x\"\npushi 1\nadd\n");
  ExpressionOptions next;
  next.version = 65545;
  EXPECT_EQ(Compile("x++", next), AssembleAndRender(kPostfixIncrement));
}

TEST_F(ExprTest, DeepNestingIsRefusedNotFollowed) {
  std::string deep(5000, '(');
  deep += "1";
  deep += std::string(5000, ')');
  EXPECT_EQ(CompileError(deep), "Expression nested too deeply");
  std::string nots;
  for (int i = 0; i < 5000; ++i) nots += "NOT ";
  EXPECT_EQ(CompileError(nots + "1"), "Expression nested too deeply");
  std::string shallow(50, '(');
  shallow += "1" + std::string(50, ')');
  EXPECT_EQ(Compile(shallow), "pushi 1\n");
}

TEST_F(ExprTest, AliasThatCannotBeStoredFailsConstruction) {
  ExpressionProgram program = Program();
  program.dictionary = nullptr;
  ExpressionOptions options;
  options.alias = "cust";
  ExpressionCompiler compiler(program, "1", 1, options);
  EXPECT_FALSE(compiler.compile());
  EXPECT_STREQ(compiler.error().c_str(), "Unable to store variable");
}

TEST_F(ExprTest, PositionMarkersWhenASourceNameIsGiven) {
  ExpressionOptions options;
  options.source_name = "page.pxs";
  options.line = 7;
  EXPECT_EQ(Compile("a + len(b) $ 'x'", options),
            AssembleAndRender(".extern len(text)\n"
                              " sourcefile \"page.pxs\"\n lineno 7\n pushnc \"a\"\n"
                              " pushnc \"b\"\n call len\n sourcefile \"page.pxs\"\n"
                              " lineno 7\n add\n pushc \"x\"\n cat\n"));
  // Numbers carry no marker; the first operator writes it.
  EXPECT_EQ(Compile("1 + 2", options),
            AssembleAndRender(" sourcefile \"page.pxs\"\n pushi 1\n pushi 2\n lineno 7\n add\n"));
  EXPECT_EQ(Compile("1 + 2"), AssembleAndRender("pushi 1\n pushi 2\n add\n"));
}

TEST_F(ExprTest, LibraryFunctionsAreEnteredOnceWithTheirParameters) {
  EXPECT_EQ(Compile("swap2(a, b) + len('x') + now()"),
            AssembleAndRender(".extern swap2(var first, var second)\n.extern len(text)\n"
                              ".extern now()\n pushnc \"a\"\n pushnc \"b\"\n call swap2\n"
                              " pushc \"x\"\n call len\n add\n call now\n add\n"));
  ASSERT_EQ(functions_.count(), 3);
  Function* swap2 = functions_.find("SWAP2", 5);
  ASSERT_NE(swap2, nullptr);
  EXPECT_TRUE(swap2->is_external());
  EXPECT_EQ(swap2->segment(), -1);
  EXPECT_EQ(swap2->offset(), -1);
  ASSERT_EQ(swap2->parameters().size(), 2u);
  EXPECT_STREQ(swap2->parameters()[1].name.c_str(), "second");
  EXPECT_TRUE(swap2->parameters()[1].by_reference);
  EXPECT_EQ(swap2->parameters()[1].local_index, 1);
  int32_t length = 0;
  const char* name = dictionary_.get(swap2->parameters()[0].name_index, &length);
  EXPECT_EQ(std::string(name, static_cast<size_t>(length)), "first");
  EXPECT_NE(swap2->binding(), nullptr);
  // The locals chain holds both parameters, shorter name first.
  const NameTable& locals = swap2->locals();
  ASSERT_EQ(locals.count(), 2);
  EXPECT_EQ(locals.buckets[0], 0);
  EXPECT_EQ(locals.next[0], 1);
  EXPECT_EQ(locals.next[1], -1);

  int before = library_.lookups;
  EXPECT_EQ(Compile("LEN(y)"), AssembleAndRender(".extern x1(a)\n.extern len(t)\n pushnc \"y\"\n"
                                                 " call len\n"));
  EXPECT_EQ(library_.lookups, before);
  EXPECT_EQ(functions_.count(), 3);
}

TEST_F(ExprTest, ProgramFunctionsComeFirst) {
  Function* own = functions_.add_function("len", 3, 0, 0, 0);
  ASSERT_NE(own, nullptr);
  FunctionParameter p;
  p.name = "a";
  own->mutable_parameters().push_back(p);
  own->mutable_parameters().push_back(p);
  EXPECT_EQ(CompileError("len(1)"),
            "Function 'len' is defined with 2 parameters and was called with 1");
  EXPECT_EQ(library_.lookups, 0);
  EXPECT_EQ(Compile("len(1, 'b')"), "pushi 1\npushc \"b\"\ncall 0\n");
}

TEST_F(ExprTest, LibraryEntriesAreBorrowedFromTheOtherProgram) {
  Dictionary other_dictionary;
  FunctionManager other(&other_dictionary);
  other.add_function("body", 4, 0, 0, 0);  // compiled: not shareable
  Function* fmt = other.add_external_function("fmt", 3);
  FunctionParameter p;
  p.name = "value";
  p.by_reference = true;
  fmt->mutable_parameters().push_back(p);
  int marker = 0;
  fmt->set_binding(&marker);

  EXPECT_EQ(Compile("fmt(v)", ExpressionOptions(), &other), "pushnc \"v\"\ncall 0\n");
  Function* copied = functions_.find("fmt", 3);
  ASSERT_NE(copied, nullptr);
  EXPECT_TRUE(copied->is_external());
  EXPECT_EQ(copied->binding(), &marker);
  ASSERT_EQ(copied->parameters().size(), 1u);
  EXPECT_TRUE(copied->parameters()[0].by_reference);
  EXPECT_EQ(library_.lookups, 0);

  EXPECT_EQ(Compile("body()", ExpressionOptions(), &other),
            "error: Unable to find function 'body'");
  // A library function found for this program is also entered in the other.
  EXPECT_EQ(Compile("len(1)", ExpressionOptions(), &other), "pushi 1\ncall 1\n");
  Function* shared = other.find("len", 3);
  ASSERT_NE(shared, nullptr);
  EXPECT_TRUE(shared->is_external());
  EXPECT_EQ(shared->parameters().size(), 1u);
}

TEST_F(ExprTest, WritesIntoAGivenSegmentFromItsStartPosition) {
  Segment* segment = segments_.add_segment();
  ASSERT_NE(segment, nullptr);
  ASSERT_TRUE(segment->put_word(0, 0x0015));
  ExpressionOptions options;
  options.segment = segment;
  options.start = 2;
  ExpressionCompiler compiler(Program(), "1 + 2", 5, options);
  ASSERT_TRUE(compiler.compile());
  EXPECT_EQ(compiler.segment(), segment);
  EXPECT_EQ(compiler.position(), 2 + 6 + 6 + 2);
  EXPECT_EQ(segment->length(), compiler.position());
  uint16_t word = 0;
  ASSERT_TRUE(segment->read_word(0, &word));
  EXPECT_EQ(word, 0x0015);
  EXPECT_EQ(segments_.count(), 1);
  EXPECT_EQ(compiler.operator_count(), 1);
}

TEST_F(ExprTest, EachCompilationWithoutASegmentGetsANewOne) {
  String error;
  Segment* first = CompileDynamicExpression(Program(), "1", -1, &error);
  Segment* second = CompileDynamicExpression(Program(), "a $ 'b'", -1, &error);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first->number(), second->number());
  EXPECT_EQ(segments_.segment(second->number()), second);
  EXPECT_EQ(first->length(), 6);
  EXPECT_EQ(CompileDynamicExpression(Program(), "len(", -1, &error), nullptr);
  EXPECT_STREQ(error.c_str(), "Mismatched Parentheses found in Expression");
}

}  // namespace
}  // namespace testing_expr
}  // namespace pexo
