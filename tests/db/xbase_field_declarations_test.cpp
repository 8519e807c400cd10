// The field declarations of a table to create: every message, and the
// lengths the types give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/xbase/xbase_field_declarations.h"

namespace pexo {
namespace {

// "NAME:type letter:length:decimals;" per field, or the message.
std::string Parse(const std::string& text) {
  std::vector<XBaseFieldDefinition> fields;
  String error;
  if (!ParseFieldDeclarations(text.data(), static_cast<int32_t>(text.size()), &fields, &error))
    return error.c_str();
  std::string out;
  for (const XBaseFieldDefinition& f : fields)
    out += std::string(f.name.c_str()) + ":" + XBaseTypeLetter(f.type) + ":" +
           std::to_string(f.length) + ":" + std::to_string(f.decimals) + ";";
  return out;
}

TEST(XBaseFieldDeclarations, TypesAndLengths) {
  EXPECT_EQ(Parse(" name  Char (20) ,age number(3.1),\tBorn date, ok BOOLEAN, note Memo "),
            "NAME:C:20:0;AGE:N:5:1;BORN:D:8:0;OK:L:1:0;NOTE:M:10:0;");
  EXPECT_EQ(Parse("a NUMBER, b NUMBER(7), c NUMBER(16.2), d CHAR(254)"),
            "A:N:19:0;B:N:7:0;C:N:19:2;D:C:254:0;");
  EXPECT_EQ(Parse("abcdefghij CHAR(1)"), "ABCDEFGHIJ:C:1:0;");
}

TEST(XBaseFieldDeclarations, Messages) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "Field specification does not define any\tfields"},
      {"  ", "Field specification does not define any\tfields"},
      {"a CHAR(1),", "Dangling comma in field\tspecification"},
      {",a CHAR(1)", "Dangling comma in field\tspecification"},
      {"a CHAR(1), ,b DATE", "Dangling comma in field\tspecification"},
      {"abcdefghijk CHAR(1)", "Field name is longer than the XBase limit of 10 characters"},
      {"NAME CHAR(20), AGE NUMBER(3.1), NAME DATE",
       "Field name is used more than once in the field specification"},
      {"name CHAR(2), Name DATE", "Field name is used more than once in the field specification"},
      {"name", "Empty field type in field specification"},
      {"a CHAR", "Error in field specification: CHAR datatypes require a length"},
      {"a CHAR()", "Error in field specification: CHAR datatypes require a length"},
      {"a CHAR(0)", "Error in field specification: CHAR datatypes require a length"},
      {"a CHAR(255)", "CHAR fields may\tonly be\t254 characters long, field is too long"},
      {"a NUMBER(20)", "NUMERIC\tfields may only\tbe 19 digits, field is too many digits"},
      {"a NUMBER(17.2)", "NUMERIC\tfields may only\tbe 19 digits, field is too many digits"},
      {"a CHAR(3) x", "Unexpected character following field declaration"},
      {"a NUMBER(3)x", "Unexpected character following field declaration"},
      {"a NUMBER(3.)", "Unexpected character following field declaration"},
      {"a TEXT", "Unknown field type in field specification"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text), c.error) << "'" << c.text << "'";
}

}  // namespace
}  // namespace pexo
