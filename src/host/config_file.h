// ConfigFile: the server's XML configuration file, read once per process
// and applied to each request's ServerConfig by the request's URL path.
//
// Shape: a document element (any name) holding one "PexoScript" section and
// any number of <location path="/url/prefix"> elements, each with a
// "PexoScript" section of its own (the document element may itself be the
// section). A request gets the outer section first, then every location
// whose path is a prefix of the request path on a "/" boundary, shorter
// prefixes first, so that the longest prefix wins for any setting that
// several give. A section sets only what it names; libraries accumulate
// unless a <clear/> entry empties the inherited list.
//
// After a successful Load the object is only read, so requests on several
// threads may call ConfigFor at once.
#ifndef PEXO_HOST_CONFIG_FILE_H_
#define PEXO_HOST_CONFIG_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "values/server_config.h"
#include "values/string.h"

namespace pexo {

class ConfigFile {
 public:
  ConfigFile();
  ConfigFile(const ConfigFile&) = delete;
  ConfigFile& operator=(const ConfigFile&) = delete;
  ~ConfigFile();

  // Reads and parses the file. On failure returns false and ErrorText()
  // names the file and, for malformed XML, the line.
  bool Load(const char* path);
  // Same from bytes in memory; `name` stands for the file in messages.
  bool LoadBuffer(const char* bytes, size_t size, const char* name);
  const String& ErrorText() const { return error_; }
  bool loaded() const;

  // Fills `config` with the settings that apply to `url_path`. Without a
  // loaded file nothing is set and every key keeps its default.
  void ConfigFor(const char* url_path, int32_t length, ServerConfig* config) const;
  // Number of location sections found (for diagnostics and tests).
  int32_t LocationCount() const;

 private:
  struct Document;
  std::unique_ptr<Document> doc_;
  String error_;
};

}  // namespace pexo

#endif  // PEXO_HOST_CONFIG_FILE_H_
