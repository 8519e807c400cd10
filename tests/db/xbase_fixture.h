// A scratch data directory with the sandboxed file manager over it, and
// helpers to build and inspect xBase tables.
#ifndef PEXO_TESTS_DB_XBASE_FIXTURE_H_
#define PEXO_TESTS_DB_XBASE_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "db/xbase/xbase_table.h"
#include "host/posix_file_manager.h"
#include "host/xbase_file_manager_adapter.h"

namespace pexo {

class XBaseFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pexo_xbXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    top_ = pattern;
    ASSERT_EQ(mkdir((top_ + "/data").c_str(), 0755), 0);
    posix_ = std::make_unique<PosixFileManager>(nullptr);
    ASSERT_TRUE(posix_->SetDataDirectory(Path("").c_str(), -1));
    files_ = std::make_unique<PosixDatabaseFileManager>(posix_.get());
  }
  void TearDown() override {
    files_.reset();
    posix_.reset();
    std::string command = "rm -rf '" + top_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  // The full path of a name in the data directory.
  std::string Path(const std::string& name) const { return top_ + "/data/" + name; }
  void WriteFile(const std::string& name, const std::string& content) {
    FILE* f = std::fopen(Path(name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  std::string ReadFile(const std::string& name) const {
    FILE* f = std::fopen(Path(name).c_str(), "rb");
    if (!f) return "<missing>";
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
  }
  static XBaseFieldDefinition Column(const char* name, int32_t type, int32_t length,
                             int32_t decimals = 0) {
    XBaseFieldDefinition column;
    column.name.assign(name);
    column.type = type;
    column.length = length;
    column.decimals = decimals;
    return column;
  }
  // NAME C(10), QTY N(8,2), BORN D, OK L, NOTE M.
  static std::vector<XBaseFieldDefinition> AllTypes() {
    return {Column("NAME", kXBaseCharacter, 10), Column("QTY", kXBaseNumeric, 8, 2),
            Column("BORN", kXBaseDate, 8), Column("OK", kXBaseLogical, 1),
            Column("NOTE", kXBaseMemo, 10)};
  }
  // Sets the current values of the fields, in order, and appends.
  static bool Append(XBaseTable* table, const std::vector<std::string>& values) {
    for (size_t i = 0; i < values.size(); ++i)
      table->Fields()[i]->SetValue(values[i].data(), static_cast<int32_t>(values[i].size()));
    return table->AppendRecord();
  }
  static std::string Text(const String& s) { return std::string(s.data(), s.length()); }

  std::string top_;
  std::unique_ptr<PosixFileManager> posix_;
  std::unique_ptr<PosixDatabaseFileManager> files_;
};

}  // namespace pexo

#endif  // PEXO_TESTS_DB_XBASE_FIXTURE_H_
