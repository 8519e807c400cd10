#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "values/config.h"
#include "host/file_byte_stream.h"
#include "host/posix_file_manager.h"
#include "program/tagged_file.h"

namespace pexo {
namespace {

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// A container with one section "data" holding `body`.
std::string OneSectionFile(const std::string& body) {
  std::string file = "Pexo";
  PutU32(&file, 0x0001000D);
  file.append(16, '\x5a');
  PutU32(&file, 32);  // directory right after the header
  PutU32(&file, 1);
  file.append("data");
  PutU32(&file, 44);
  PutU32(&file, static_cast<uint32_t>(body.size()));
  return file + body;
}

class FileByteStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pexo_fbsXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    top_ = pattern;
    manager_ = std::make_unique<PosixFileManager>(&config_);
    ASSERT_TRUE(manager_->SetScriptDirectory(top_.c_str(), -1));
  }
  void TearDown() override {
    manager_.reset();
    ASSERT_EQ(std::system(("rm -rf '" + top_ + "'").c_str()), 0);
  }
  void Write(const char* name, const std::string& bytes) {
    FILE* f = std::fopen((top_ + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }

  std::string top_;
  Config config_;
  std::unique_ptr<PosixFileManager> manager_;
};

TEST_F(FileByteStreamTest, ReadsSeeksAndClampsToTheEnd) {
  Write("a.bin", "0123456789");
  String error;
  auto stream = FileByteStream::Open(manager_.get(), FILE_SCRIPT, "a.bin", &error);
  ASSERT_NE(stream, nullptr) << error.c_str();
  EXPECT_EQ(stream->size(), 10);
  char buffer[16] = {0};
  EXPECT_EQ(stream->read(buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(stream->seek(7), 7);
  EXPECT_EQ(stream->read(buffer, 16), 3);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(stream->read(buffer, 16), 0);
  EXPECT_EQ(stream->seek(50), 10);  // a seek past the end lands at the end
  EXPECT_EQ(stream->seek(-1), -1);
  EXPECT_STREQ(stream->error().c_str(), "Invalid position");
  EXPECT_EQ(stream->read(buffer, -2), -1);
}

TEST_F(FileByteStreamTest, MissingOrEscapingPathGivesTheManagersMessage) {
  String error;
  EXPECT_EQ(FileByteStream::Open(manager_.get(), FILE_SCRIPT, "none.pxc", &error), nullptr);
  EXPECT_FALSE(error.empty());
  String escape;
  EXPECT_EQ(FileByteStream::Open(manager_.get(), FILE_SCRIPT, "../etc/passwd", &escape),
            nullptr);
  EXPECT_FALSE(escape.empty());
}

TEST_F(FileByteStreamTest, ContainerReaderRunsOverAManagedFile) {
  Write("page.pxc", OneSectionFile("hello"));
  String error;
  auto stream = FileByteStream::Open(manager_.get(), FILE_SCRIPT, "page.pxc", &error);
  ASSERT_NE(stream, nullptr);
  TaggedFile file;
  ASSERT_TRUE(file.open("page.pxc", std::move(stream))) << file.last_error().c_str();
  int32_t size = 0;
  ASSERT_TRUE(file.select_section(SectionId("data"), &size));
  EXPECT_EQ(size, 5);
  char body[8] = {0};
  EXPECT_EQ(file.read(body, 8), 5);
  EXPECT_EQ(std::string(body, 5), "hello");
  file.close();  // the file must go before its manager
}

// With a handle limit of one, opening another file deactivates the stream's
// file; reads after that must reopen it at the same position.
TEST_F(FileByteStreamTest, SurvivesDeactivationByTheHandleLimit) {
  Write("a.bin", "abcdef");
  Write("b.bin", "x");
  manager_->SetHandleLimit(1);
  String error;
  auto stream = FileByteStream::Open(manager_.get(), FILE_SCRIPT, "a.bin", &error);
  ASSERT_NE(stream, nullptr);
  char buffer[8] = {0};
  ASSERT_EQ(stream->read(buffer, 2), 2);
  PosixFile* other = manager_->Open(FILE_SCRIPT, "b.bin", FILE_READ);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(stream->file()->active());
  delete other;
  EXPECT_EQ(stream->read(buffer, 8), 4);
  EXPECT_EQ(std::string(buffer, 4), "cdef");
}

}  // namespace
}  // namespace pexo
