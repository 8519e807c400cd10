#include "serve_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <dirent.h>

#include <fstream>

#include "program_files.h"

namespace pexo {
namespace testing_serve {

const char kEmptyProgram[] =
    ".identity \"empty\"\n"
    ".system query_string\n"
    ".global i\n"
    ".segment main start\n"
    "        exit\n";

Site::Site() {
  char pattern[] = "/tmp/pexo_serve_XXXXXX";
  const char* made = mkdtemp(pattern);
  EXPECT_NE(made, nullptr);
  dir_ = made ? made : "/tmp";
  mkdir(root().c_str(), 0755);
  mkdir(data().c_str(), 0755);
}

Site::~Site() {
  std::string command = "rm -rf '" + dir_ + "'";
  if (dir_.rfind("/tmp/pexo_serve_", 0) == 0) {
    int rc = std::system(command.c_str());
    (void)rc;
  }
}

void Site::AddProgram(const std::string& name, const std::string& source) {
  std::string error;
  ASSERT_TRUE(WriteProgram(source, root() + "/" + name, &error)) << error;
}

void Site::AddFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(root() + "/" + name, std::ios::binary);
  out << bytes;
}

void Site::Configure(const std::string& attributes, const std::string& section_body,
                     bool with_paths) {
  // No administrator line unless a test asks for one.
  std::string extra = attributes.find("serverAdmin") == std::string::npos ? " serverAdmin=\"\"" : "";
  std::string xml = "<configuration><PexoScript " + attributes + extra + ">";
  if (with_paths) {
    xml += "<paths root=\"" + root() + "\" data=\"" + data() + "\"/>";
  }
  xml += section_body + "</PexoScript></configuration>";
  ASSERT_TRUE(config_.LoadBuffer(xml.data(), xml.size(), "test.config"))
      << config_.ErrorText().c_str();
}

void Site::Prepare(MemoryRequest* request, const std::string& url_path,
                   const std::string& query) const {
  request->variables["PATH_INFO"] = url_path;
  request->variables["PATH_TRANSLATED"] = root() + url_path;
  request->variables["QUERY_STRING"] = query;
  request->variables["REQUEST_METHOD"] = "GET";
  request->variables["SERVER_NAME"] = "localhost";
  request->variables["SERVER_PORT"] = "80";
  request->variables["REMOTE_ADDR"] = "127.0.0.1";
}

int Site::Run(MemoryRequest* request, const std::string& url_path, const std::string& query) {
  if (request->variables.find("PATH_INFO") == request->variables.end())
    Prepare(request, url_path, query);
  RecordingApplication app(request, &config_);
  return app.Execute();
}

std::string PrintSystemVariables(const std::vector<std::string>& names) {
  std::string source = ".system ";
  for (size_t i = 0; i < names.size(); ++i) source += (i ? ", " : "") + names[i];
  source += "\n.segment main start\n";
  for (const std::string& name : names) {
    source += "  pushc \"" + name + "=\"\n  out\n  pushs " + name +
              "\n  out\n  pushc \"|\"\n  out\n";
  }
  return source;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  DIR* handle = opendir(dir.c_str());
  if (!handle) return names;
  while (dirent* entry = readdir(handle)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(handle);
  return names;
}

}  // namespace testing_serve
}  // namespace pexo
