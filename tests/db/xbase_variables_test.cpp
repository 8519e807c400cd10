#include <mpdecimal.h>

#include <memory>
#include <string>

#include "db/xbase/xbase_variables.h"
#include "values/aggregate_index.h"
#include "xbase_fixture.h"

namespace pexo {
namespace {

struct VariableDeleter {
  void operator()(Variable* v) const { v->Release(); }
};
using VariablePtr = std::unique_ptr<XBaseVariable, VariableDeleter>;

class XBaseVariablesTest : public XBaseFixture {
 protected:
  // A one-field table with one record holding `initial`, read back.
  XBaseField* OneField(const XBaseFieldDefinition& column, const std::string& initial) {
    table_ = std::make_unique<XBaseTable>(files_.get());
    EXPECT_TRUE(table_->CreateTable("v.dbf", "v.dbt", {column})) << Text(table_->ErrorText());
    EXPECT_TRUE(Append(table_.get(), {initial}));
    EXPECT_TRUE(table_->ReadRecord(1));
    return table_->Fields()[0].get();
  }
  // What the field's record bytes would be after storing the variable.
  static std::string Stored(XBaseVariable* variable, XBaseField* field) {
    variable->StoreIntoField();
    std::string bytes(static_cast<size_t>(field->Length()), '?');
    EXPECT_TRUE(field->Store(&bytes[0]));
    return bytes;
  }
  std::unique_ptr<XBaseTable> table_;
};

TEST_F(XBaseVariablesTest, NumberAssignmentsAreCheckedAndNormalised) {
  struct Case {
    int length, decimals;
    const char* text;
    const char* stored;  // null: refused
  } cases[] = {
      {8, 2, "12.345", "   12.34"},  // cut, not rounded
      {5, 0, "7", "    7"},
      {3, 0, "1.5", "  1"},
      {6, 2, "", "  0.00"},
      {6, 2, "3", "  3.00"},
      {6, 2, "-.5", "  -.50"},
      {4, 0, "-123", "-123"},
      {8, 2, "12345.6", "12345.60"},
      {4, 0, "-1234", nullptr},   // the sign counts
      {5, 0, "123456", nullptr},  // never spills into the next field
      {8, 2, "123456", nullptr},  // no room beside the places
      {5, 0, "1e3", nullptr},
      {5, 0, "1.2.3", nullptr},
      {5, 0, " 5", nullptr},
      {5, 0, "+5", nullptr},
      {5, 0, "-", nullptr},
      {5, 0, "abc", nullptr},
  };
  for (const Case& c : cases) {
    XBaseField* field = OneField(Column("N", kXBaseNumeric, c.length, c.decimals), "9");
    VariablePtr v(MakeXBaseFieldVariable(field));
    EXPECT_EQ(v->SetValue(c.text), c.stored ? 1 : 0) << c.text;
    EXPECT_EQ(v->dirty(), c.stored != nullptr) << c.text;
    std::string expected = c.stored ? c.stored : std::string(c.length - 1, ' ') + "9";
    EXPECT_EQ(Stored(v.get(), field), expected) << c.text;
  }
}

TEST_F(XBaseVariablesTest, NumberAssignmentsOfIntegersAndDecimals) {
  XBaseField* field = OneField(Column("N", kXBaseNumeric, 8, 2), "1");
  VariablePtr v(MakeXBaseFieldVariable(field));
  EXPECT_EQ(v->SetValue_Integer(-42), 1);
  EXPECT_EQ(Stored(v.get(), field), "  -42.00");
  Variable big, small;
  big.SetValue("1e20");
  small.SetValue("12.345");
  EXPECT_EQ(v->SetValue_Decimal(big.Value_Decimal()), 0);
  EXPECT_EQ(v->SetValue_Decimal(small.Value_Decimal()), 1);
  EXPECT_EQ(Stored(v.get(), field), "   12.34");
  EXPECT_EQ(v->Value_Integer(), 12);
}

TEST_F(XBaseVariablesTest, DateStringAndBooleanAssignments) {
  struct Case {
    XBaseFieldDefinition column;
    const char* text;
    const char* stored;  // null: refused
    const char* reads;   // the variable's text afterwards
  } cases[] = {
      {Column("D", kXBaseDate, 8), "20200231", "20200231", "20200231"},
      {Column("D", kXBaseDate, 8), "2020-02-31", nullptr, "19991231"},
      {Column("D", kXBaseDate, 8), "20201301", nullptr, "19991231"},
      {Column("D", kXBaseDate, 8), "20200132", nullptr, "19991231"},
      {Column("D", kXBaseDate, 8), "2020123", nullptr, "19991231"},
      {Column("C", kXBaseCharacter, 5), "abcdefg", "abcde", "abcde"},
      {Column("C", kXBaseCharacter, 5), "ab  ", "ab   ", "ab"},
      {Column("C", kXBaseCharacter, 5), "a\t\n", "a    ", "a"},
      {Column("L", kXBaseLogical, 1), "yes", "T", "1"},
      {Column("L", kXBaseLogical, 1), "0.0", "F", "0"},
      {Column("L", kXBaseLogical, 1), "", "F", "0"},
  };
  for (const Case& c : cases) {
    const char* initial = c.column.type == kXBaseDate ? "19991231" : "";
    XBaseField* field = OneField(c.column, initial);
    VariablePtr v(MakeXBaseFieldVariable(field));
    EXPECT_EQ(v->SetValue(c.text), c.stored ? 1 : 0) << c.text;
    EXPECT_EQ(Text(v->Value()), c.reads) << c.text;
    if (c.stored) {
      EXPECT_EQ(Stored(v.get(), field), c.stored) << c.text;
    }
  }
}

TEST_F(XBaseVariablesTest, ReadsFollowTheCurrentRecord) {
  table_ = std::make_unique<XBaseTable>(files_.get());
  ASSERT_TRUE(table_->CreateTable("v.dbf", "v.dbt", AllTypes()));
  ASSERT_TRUE(Append(table_.get(), {"first", "1.50", "20240101", "y", "memo one"}));
  ASSERT_TRUE(Append(table_.get(), {"second", "-2.00", "20240202", "N", ""}));
  std::vector<VariablePtr> vars;
  for (const auto& field : table_->Fields()) vars.emplace_back(MakeXBaseFieldVariable(field.get()));
  XBaseTotalRecordsVariable totrec(table_.get());
  XBaseRecordNumberVariable recno(table_.get());
  XBaseDeletedVariable deleted(table_.get());
  XBaseEOFVariable eof;

  ASSERT_TRUE(table_->ReadRecord(1));
  const char* first[] = {"first", "1.50", "20240101", "1", "memo one"};
  for (size_t i = 0; i < vars.size(); ++i) EXPECT_EQ(Text(vars[i]->Value()), first[i]);
  EXPECT_EQ(vars[1]->Value_Integer(), 1);
  EXPECT_TRUE(vars[3]->IsTrue());
  EXPECT_EQ(recno.Value_Integer(), 1);

  // A pending assignment is dropped with the record it was made on.
  EXPECT_EQ(vars[0]->SetValue("changed"), 1);
  ASSERT_TRUE(table_->ReadRecord(2));
  ASSERT_TRUE(table_->SetDeleted(true));
  for (auto& v : vars) v->Invalidate();
  EXPECT_FALSE(vars[0]->dirty());
  const char* second[] = {"second", "-2.00", "20240202", "0", ""};
  for (size_t i = 0; i < vars.size(); ++i) EXPECT_EQ(Text(vars[i]->Value()), second[i]);
  EXPECT_EQ(recno.Value_Integer(), 2);
  EXPECT_EQ(totrec.Value_Integer(), 2);
  EXPECT_EQ(Text(deleted.Value()), "1");
  EXPECT_EQ(eof.Value_Integer(), 0);
  eof.SetEOF(true);
  EXPECT_EQ(eof.Value_Integer(), 1);

  // A copy into an ordinary variable takes the shown value.
  Variable plain;
  plain.SetValue_Variable(vars[1].get());
  EXPECT_EQ(Text(plain.Value()), "-2.00");

  // The record state is read-only.
  for (XBaseVariable* state :
       std::initializer_list<XBaseVariable*>{&totrec, &recno, &deleted, &eof}) {
    EXPECT_EQ(state->SetValue("5"), 0);
    EXPECT_EQ(state->SetValue_Integer(5), 0);
    EXPECT_EQ(state->SetValue_Variable(&plain), 0);
  }
  EXPECT_EQ(recno.Value_Integer(), 2);

  // Memo texts are not cut to the field length.
  EXPECT_EQ(vars[4]->SetValue("a memo much longer than ten"), 1);
  vars[4]->StoreIntoField();
  EXPECT_EQ(Text(table_->Fields()[4]->Value()), "a memo much longer than ten");
  // Field variables stay scalars.
  EXPECT_EQ(vars[0]->Set_Element(AggregateIndex(1), &plain), 0);
  vars[0]->MakeAggregate(kKindArray);
  EXPECT_EQ(vars[0]->AggregateKind(), kKindScalar);

  // A reopened table has new fields; a rebound variable shows them.
  ASSERT_TRUE(table_->OpenTable("v.dbf", kDbOpenExisting));
  ASSERT_TRUE(table_->ReadRecord(1));
  XBaseFieldVariable* name = static_cast<XBaseFieldVariable*>(vars[0].get());
  name->Rebind(table_->Fields()[0].get());
  EXPECT_EQ(Text(name->Value()), "first");
}

TEST_F(XBaseVariablesTest, SavedValuesSurviveAFailedWrite) {
  XBaseField* field = OneField(Column("C", kXBaseCharacter, 8), "read");
  VariablePtr assigned(MakeXBaseFieldVariable(field));
  ASSERT_EQ(assigned->SetValue("new"), 1);
  assigned->SaveValue();
  assigned->StoreIntoField();
  EXPECT_FALSE(assigned->dirty());
  assigned->RestoreValue();  // as after a refused append
  EXPECT_TRUE(assigned->dirty());
  EXPECT_EQ(Text(assigned->Value()), "new");

  VariablePtr untouched(MakeXBaseFieldVariable(field));
  untouched->SaveValue();
  ASSERT_EQ(untouched->SetValue("other"), 1);
  untouched->RestoreValue();
  EXPECT_FALSE(untouched->dirty());
  field->SetValue("fresh", 5);
  EXPECT_EQ(Text(untouched->Value()), "fresh");  // still lazy
}

}  // namespace
}  // namespace pexo
