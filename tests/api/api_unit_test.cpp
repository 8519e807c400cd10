// Direct tests of the families with rules of their own: link buffer
// release, decimal size, aggregate listing, persistent data, hashes and the
// file locations.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "api_fixture.h"
#include "api/api_context.h"
#include "ext/library_descriptors.h"
#include "ext/persistent_table.h"
#include "pexo/pexo.h"
#include "values/variable.h"

namespace pexo {
namespace {

// The public descriptor structs and the loader's view of them must agree.
static_assert(sizeof(PxFunctionDescriptor) == sizeof(PexoFunctionDescriptor), "descriptor");
static_assert(offsetof(PxFunctionDescriptor, function) == offsetof(PexoFunctionDescriptor, function),
              "function pointer");
static_assert(sizeof(PxParameterDescriptor) == sizeof(PexoParameterDescriptor), "parameter");
static_assert(offsetof(PxParameterDescriptor, flags) == offsetof(PexoParameterDescriptor, flags),
              "parameter flags");
static_assert(offsetof(PxFunctionTable, functions) == offsetof(PexoFunctionTable, functions),
              "table");
static_assert(offsetof(PxConfigLibrary, load_script) == offsetof(PexoConfigLibrary, load_script),
              "configuration table");
static_assert(offsetof(PxCommerceLibrary, error) == offsetof(PexoCommerceLibrary, error),
              "commerce table");

TEST(ApiLinkBuffer, HexCharsAreTwoUppercaseDigits) {
  struct Case {
    unsigned char byte;
    const char* text;
  } cases[] = {{10, "0A"}, {0, "00"}, {255, "FF"}, {0xab, "AB"}, {'1', "31"}};
  for (const Case& c : cases) {
    PexoLinkBuffer* b = pxLinkBuffer_Allocate(1, 1);
    pxLinkBuffer_Concat_HexChar(b, c.byte);
    int32_t length = 0;
    EXPECT_STREQ(pxLinkBuffer_Data(b, &length), c.text);
    EXPECT_EQ(length, 2);
    pxLinkBuffer_Free(b);
  }
}

TEST(ApiLinkBuffer, ReleaseDetachesAndEmpties) {
  PexoLinkBuffer* b = pxLinkBuffer_Allocate(2, 3);
  // Spans several chunks, so release must join them.
  pxLinkBuffer_Concat_String(b, "abcdefghij", -1);
  int32_t length = -1, size = -1;
  char* text = pxLinkBuffer_Release(b, &length, &size, 5);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(length, 10);
  EXPECT_GE(size, 15);
  EXPECT_EQ(std::string(text, 10), "abcdefghij");
  free(text);
  int32_t after = -1;
  EXPECT_STREQ(pxLinkBuffer_Data(b, &after), "");
  EXPECT_EQ(after, 0);

  text = pxLinkBuffer_Release(b, &length, &size, 0);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(size, 1);
  free(text);
  pxLinkBuffer_Free(b);
}

TEST(ApiLinkBuffer, NocopyTakesTheAllocation) {
  PexoLinkBuffer* b = pxLinkBuffer_Allocate(4, 4);
  pxLinkBuffer_Concat_String(b, "ab", 2);
  char* owned = static_cast<char*>(malloc(3));
  memcpy(owned, "cd", 3);
  pxLinkBuffer_Concat_String_Nocopy(b, owned, -1, 3);  // -1: up to the zero byte
  pxLinkBuffer_Concat_Int(b, 2147483647);
  EXPECT_STREQ(pxLinkBuffer_Data(b, nullptr), "abcd2147483647");
  pxLinkBuffer_Free(b);  // the sanitizer build reports a leak or double free here
}

TEST(ApiVariable, DecimalSize) {
  struct Case {
    const char* value;
    int ok;
    int32_t precision, scale;
  } cases[] = {
      {"12.50", 1, 3, 1},    {"0.001", 1, 3, 3},   {"123.45", 1, 5, 2},
      {"1200", 1, 4, 0},     {"-7", 1, 1, 0},      {"0", 1, 1, 0},
      {"1E+3", 1, 4, 0},     {"abc", 0, -1, -1},   {"NaN", 1, 0, 0},
      {"Infinity", 1, 0, 0}, {"0.10", 1, 1, 1},
  };
  for (const Case& c : cases) {
    PexoVariable* v = pxVariable_Allocate("v", 1, c.value, -1);
    int32_t precision = -1, scale = -1;
    EXPECT_EQ(pxVariable_Value_Decimal_Size(v, &precision, &scale), c.ok) << c.value;
    EXPECT_EQ(precision, c.precision) << c.value;
    EXPECT_EQ(scale, c.scale) << c.value;
    pxVariable_Free(v);
  }
}

TEST(ApiVariable, TypesMapToTheApiCodes) {
  PexoVariable* v = pxVariable_Allocate("v", 1, nullptr, 0);
  EXPECT_EQ(pxVariable_Type(v), PX_TYPE_NONE);
  pxVariable_SetValue_Integer(v, 3);
  EXPECT_EQ(pxVariable_Type(v), PX_TYPE_INTEGER);
  pxVariable_SetValue_Decimal_String(v, "3.5", -1);
  EXPECT_EQ(pxVariable_Type(v), PX_TYPE_DECIMAL);
  pxVariable_SetValue(v, "x", 1);
  EXPECT_EQ(pxVariable_Type(v), PX_TYPE_TEXT);
  pxVariable_Struct_Member("m", 1, v, 1);
  EXPECT_EQ(pxVariable_Type(v), PX_TYPE_STRUCTURE);
  EXPECT_EQ(pxVariable_Aggregate_Type(v), PX_AGGREGATE_STRUCTURE);
  pxVariable_Free(v);
}

TEST(ApiVariable, ValueNoZeroBytesIsAFreshCopy) {
  PexoVariable* v = pxVariable_Allocate("v", 1, "\0a\0\0b\0", 6);
  int32_t length = -1;
  char* text = pxVariable_Value_NS(v, &length);
  EXPECT_STREQ(text, "ab");
  EXPECT_EQ(length, 2);
  EXPECT_NE(text, pxVariable_Value(v, nullptr));
  free(text);
  pxVariable_Free(v);
}

TEST(ApiVariable, AggregateListNamesByMemberOrIndexInOrder) {
  PexoVariable* array = pxVariable_Allocate("a", 1, nullptr, 0);
  for (int32_t index : {10, 2, 7}) {
    PexoVariable* e = pxVariable_Array_Element(index, array, 1);
    pxVariable_SetValue_Integer(e, index * 100);
  }
  PexoVariableList* list = pxVariableList_Allocate();
  pxVariableList_SetVariable(list, "stale", -1, "x", -1);
  ASSERT_EQ(pxVariable_Aggregate_List(array, list), 3);
  const char* names[] = {"2", "7", "10"};
  const int32_t values[] = {200, 700, 1000};
  int i = 0;
  for (PexoVariable* e = pxVariableList_First(list); e; e = pxVariableList_Next(list), ++i) {
    EXPECT_STREQ(pxVariable_Name(e, nullptr), names[i]);
    EXPECT_EQ(pxVariable_Value_Integer(e), values[i]);
    // References: writing through one changes the element itself.
    pxVariable_SetValue_Integer(e, -i);
  }
  EXPECT_EQ(pxVariable_Value_Integer(pxVariable_Array_Element(7, array, 0)), -1);

  // The list keeps the elements alive after the array is gone.
  pxVariable_Free(array);
  EXPECT_EQ(pxVariable_Value_Integer(pxVariableList_First(list)), 0);
  pxVariableList_Free(list);

  PexoVariable* structure = pxVariable_Allocate("s", 1, nullptr, 0);
  pxVariable_Struct_Member("beta", -1, structure, 1);
  pxVariable_Struct_Member("Alpha", -1, structure, 1);
  list = pxVariableList_Allocate();
  ASSERT_EQ(pxVariable_Aggregate_List(structure, list), 2);
  EXPECT_STREQ(pxVariable_Name(pxVariableList_First(list), nullptr), "Alpha");
  EXPECT_STREQ(pxVariable_Name(pxVariableList_Next(list), nullptr), "beta");
  pxVariableList_Free(list);
  pxVariable_Free(structure);

  PexoVariable* scalar = pxVariable_Allocate("x", 1, "1", 1);
  list = pxVariableList_Allocate();
  EXPECT_EQ(pxVariable_Aggregate_List(scalar, list), 0);
  pxVariableList_Free(list);
  pxVariable_Free(scalar);
}

int destroyed;
void* last_program;
void CountDestroy(PexoProgram* program, void* data) {
  ++destroyed;
  last_program = program;
  free(data);
}

TEST(ApiPersistent, EntriesDieWithTheirTable) {
  destroyed = 0;
  {
    PersistentTable table;
    int marker_storage = 0;
    PexoProgram* marker = reinterpret_cast<PexoProgram*>(&marker_storage);
    EXPECT_EQ(table.Register(marker, "A", -1, malloc(1), CountDestroy), 1);
    EXPECT_EQ(table.Register(marker, "a", -1, malloc(1), CountDestroy), 1);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(last_program, static_cast<void*>(marker));
    EXPECT_EQ(table.Register(marker, "free me", -1, malloc(16), nullptr), 1);
    EXPECT_EQ(table.Register(marker, "", -1, nullptr, nullptr), 0);
    EXPECT_NE(table.Lookup("FREE ME", -1), nullptr);
  }
  EXPECT_EQ(destroyed, 2);
}

TEST(ApiPersistent, LocalDataDiesWithTheRunAndGetsItsProgram) {
  destroyed = 0;
  PexoProgram* handle = nullptr;
  {
    ApiWorld world;
    handle = AsHandle(world.context);
    EXPECT_EQ(pxProgram_Register_Local_Persistent(handle, "x", 1, malloc(2), CountDestroy), 1);
    // No shared table configured: application-wide data is refused.
    EXPECT_EQ(pxProgram_Register_Persistent(handle, "y", 1, nullptr, nullptr), 0);
    EXPECT_EQ(pxProgram_Lookup_Persistent(handle, "y", 1), nullptr);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(last_program, static_cast<void*>(handle));
}

TEST(ApiHash, FindMakesTheVariableOfADeclaredName) {
  PexoVariableHash* hash = pxVariableHash_Allocate();
  VariableHash* table = reinterpret_cast<VariableHash*>(hash);
  table->InsertName("declared", -1);
  EXPECT_EQ(pxVariableHash_Index(hash, 0), nullptr);
  PexoVariable* v = pxVariableHash_Find(hash, "DECLARED", -1);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(pxVariableHash_Index(hash, 0), v);
  EXPECT_EQ(pxVariableHash_Find(hash, "undeclared", -1), nullptr);
  EXPECT_EQ(pxVariableHash_Entries(hash), 1);
  pxVariableHash_Free(hash);
}

TEST(ApiFiles, LocationsResolveAsDocumented) {
  ApiWorld world;
  PexoProgram* p = AsHandle(world.context);
  struct Case {
    int32_t location;
    const char* path;
    std::string want;
  } cases[] = {
      {PX_LOCATION_SCRIPT, "a/b.txt", world.script_dir + "/a/b.txt"},
      {PX_LOCATION_SCRIPT, "/etc/x", "/etc/x"},
      {PX_LOCATION_ROOT, "c.txt", world.script_dir + "/c.txt"},
      {PX_LOCATION_ROOT, "/c.txt", world.script_dir + "/c.txt"},
      {PX_LOCATION_DATA, "d.txt", world.data_dir + "/d.txt"},
      {PX_LOCATION_TEMP, "d.txt", world.data_dir + "/d.txt"},  // any other: data
  };
  for (const Case& c : cases) {
    int32_t length = 0;
    char* full = pxFile_NormalizePath(p, c.location, c.path, -1, &length);
    ASSERT_NE(full, nullptr) << c.path;
    EXPECT_EQ(std::string(full, static_cast<size_t>(length)), c.want);
    free(full);
  }
  // The data directory stays sandboxed; embedded zero bytes are refused.
  EXPECT_EQ(pxFile_NormalizePath(p, PX_LOCATION_DATA, "../x", -1, nullptr), nullptr);
  EXPECT_EQ(pxFile_NormalizePath(p, PX_LOCATION_SCRIPT, "a\0b", 3, nullptr), nullptr);
  EXPECT_STREQ(pxFile_Error(p, nullptr, nullptr), "Invalid file name");
}

TEST(ApiFiles, RootLocationNeedsAConfiguredRoot) {
  ApiContext bare(nullptr, nullptr, nullptr);
  PexoProgram* p = AsHandle(&bare);
  EXPECT_EQ(pxFile_Exists(p, PX_LOCATION_ROOT, "x", -1), 0);
  EXPECT_STREQ(pxFile_Error(p, nullptr, nullptr), "The root directory is not configured");
  EXPECT_EQ(pxFile_Open(p, PX_LOCATION_DATA, "x", -1, PX_FILE_READ), nullptr);
  EXPECT_STREQ(pxFile_Error(p, nullptr, nullptr), "No file manager");
  EXPECT_EQ(pxProgram_Output(p, "x", 1), 0);  // no host to write to
}

TEST(ApiProgram, JsonDecodeFailureEmptiesTheTarget) {
  PexoVariable* v = pxVariable_Allocate("j", 1, "old", -1);
  char* error = nullptr;
  int32_t length = 0, size = 0;
  EXPECT_EQ(pxProgram_JSON_Decode(nullptr, "5", -1, v, &error, &length, &size), 0);
  EXPECT_STREQ(error, "Line #1 - Syntax error: Expected { or [");
  EXPECT_EQ(length, static_cast<int32_t>(strlen(error)));
  free(error);
  EXPECT_EQ(pxVariable_Type(v), PX_TYPE_NONE);
  EXPECT_EQ(pxProgram_JSON_Decode(nullptr, "{\"a\":{},\"b\":[null]}", -1, v, &error, &length,
                                  &size),
            1);
  EXPECT_EQ(pxVariable_Type(pxVariable_Struct_Member("a", 1, v, 0)), PX_TYPE_STRUCTURE);
  PexoVariable* b = pxVariable_Struct_Member("b", 1, v, 0);
  EXPECT_EQ(pxVariable_Type(b), PX_TYPE_ARRAY);
  EXPECT_EQ(pxVariable_ElementsUsed(b), 1);
  pxVariable_Free(v);
}

TEST(ApiProgram, CompareOrdersNumbersAndTexts) {
  struct Case {
    const char *a, *b;
    int sign;
  } cases[] = {{"10", "9", 1}, {"1.0", "1", 0}, {"abc", "abd", -1}, {"b", "abc", 1}};
  for (const Case& c : cases) {
    PexoVariable* a = pxVariable_Allocate("a", 1, c.a, -1);
    PexoVariable* b = pxVariable_Allocate("b", 1, c.b, -1);
    int result = pxProgram_Compare(nullptr, a, b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " " << c.b;
    pxVariable_Free(a);
    pxVariable_Free(b);
  }
}

}  // namespace
}  // namespace pexo
