#include "host/config_file.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "values/config.h"

namespace pexo {

namespace {

constexpr long kMaxFileSize = 16L * 1024 * 1024;
const char kSection[] = "PexoScript";

struct Location {
  std::string prefix;  // without a trailing "/", empty for the whole site
  pugi::xml_node section;
};

// Integers are decimal or 0x-prefixed hexadecimal, optionally signed; a value
// above INT32_MAX but within 32 bits is kept as its bit pattern (flag masks).
bool ParseInteger(const char* text, int32_t* out) {
  while (*text == ' ' || *text == '\t') ++text;
  if (!*text) return false;
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text, &end, 0);
  if (errno || end == text) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end) return false;
  if (value < INT32_MIN || value > static_cast<long long>(UINT32_MAX)) return false;
  *out = static_cast<int32_t>(static_cast<uint32_t>(value));
  return true;
}

bool ParseBoolean(const char* text, int32_t* out) {
  if (!strcasecmp(text, "true") || !std::strcmp(text, "1")) {
    *out = 1;
    return true;
  }
  if (!strcasecmp(text, "false") || !std::strcmp(text, "0")) {
    *out = 0;
    return true;
  }
  return false;
}

// A BITS setting ORs every listed integer attribute that is present and
// readable; none of them leaves the key as it is.
void ReadBits(ServerConfig* config, int32_t key, pugi::xml_node element, const char* names) {
  int32_t flags = 0;
  bool any = false;
  std::string list(names);
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find(' ', start);
    if (end == std::string::npos) end = list.size();
    pugi::xml_attribute attribute = element.attribute(list.substr(start, end - start).c_str());
    int32_t value;
    if (attribute && ParseInteger(attribute.value(), &value)) {
      flags |= value;
      any = true;
    }
    start = end + 1;
  }
  if (any) config->SetInteger(key, flags);
}

// One setting from its element; a missing attribute or an unreadable value
// leaves the key as it is.
void ReadSetting(ServerConfig* config, const Setting& s, pugi::xml_node element) {
  if (s.type == SettingType::kBits) {
    ReadBits(config, s.key, element, s.attributes);
    return;
  }
  pugi::xml_attribute attribute = element.attribute(s.attributes);
  if (!attribute) return;
  int32_t value;
  switch (s.type) {
    case SettingType::kText:
      config->SetString(s.key, attribute.value(), -1);
      break;
    case SettingType::kInteger:
      if (ParseInteger(attribute.value(), &value)) config->SetInteger(s.key, value);
      break;
    case SettingType::kBoolean:
      if (ParseBoolean(attribute.value(), &value)) config->SetInteger(s.key, value);
      break;
    case SettingType::kBits:
      break;
  }
}

void ReadLibrary(ServerConfig* config, pugi::xml_node entry) {
  int32_t type;
  pugi::xml_attribute type_attribute = entry.attribute("type");
  if (!type_attribute || !ParseInteger(type_attribute.value(), &type)) return;
  const char* library = entry.attribute("library").value();
  if (!*library) return;
  if (type == LIBRARY_SYSTEM) {
    config->AddSystemLibrary(library, -1);
    return;
  }
  const char* code = entry.attribute("code").value();
  if (!*code) return;
  int32_t code_length = static_cast<int32_t>(std::strlen(code));
  switch (type) {
    case LIBRARY_COMMERCE:
      config->AddCommerceLibrary(code, code_length, library, -1);
      break;
    case LIBRARY_DATABASE:
      config->AddDatabaseLibrary(code, code_length, library, -1);
      break;
    case LIBRARY_EXTERNAL_CALL:
      config->AddExternalCallLibrary(code, code_length, library, -1);
      break;
    default:
      break;
  }
}

void ReadLibraries(ServerConfig* config, pugi::xml_node element) {
  for (pugi::xml_node entry : element.children()) {
    if (!std::strcmp(entry.name(), "clear"))
      config->ClearLibraries();
    else if (!std::strcmp(entry.name(), "add"))
      ReadLibrary(config, entry);
  }
}

// One section: every setting the table places in the file, in table order,
// then the libraries. Each key is read from its own attribute, so the order
// does not change the result; a missing element is skipped.
void ApplySection(pugi::xml_node section, ServerConfig* config) {
  int32_t count = 0;
  const Setting* settings = Settings(&count);
  for (int32_t i = 0; i < count; ++i) {
    const Setting& s = settings[i];
    if (!s.element) continue;
    pugi::xml_node element = *s.element ? section.child(s.element) : section;
    if (element) ReadSetting(config, s, element);
  }
  if (pugi::xml_node e = section.child("libraries")) ReadLibraries(config, e);
}

std::string LocationPrefix(const char* path) {
  std::string prefix(path);
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  return prefix;
}

bool PrefixMatches(const std::string& prefix, const char* url, size_t length) {
  if (prefix.empty()) return true;
  if (length < prefix.size() || std::memcmp(url, prefix.data(), prefix.size()) != 0) return false;
  return length == prefix.size() || url[prefix.size()] == '/';
}

int32_t LineOfOffset(const char* bytes, size_t size, ptrdiff_t offset) {
  size_t end = offset < 0 ? 0 : std::min(static_cast<size_t>(offset), size);
  int32_t line = 1;
  for (size_t i = 0; i < end; ++i)
    if (bytes[i] == '\n') ++line;
  return line;
}

}  // namespace

struct ConfigFile::Document {
  pugi::xml_document xml;
  pugi::xml_node outer;
  std::vector<Location> locations;
};

ConfigFile::ConfigFile() = default;
ConfigFile::~ConfigFile() = default;

bool ConfigFile::loaded() const { return doc_ != nullptr; }

int32_t ConfigFile::LocationCount() const {
  return doc_ ? static_cast<int32_t>(doc_->locations.size()) : 0;
}

bool ConfigFile::Load(const char* path) {
  doc_.reset();
  error_.clear();
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    int code = errno;
    error_.assign("Unable to read configuration file '");
    error_.append(path);
    error_.append("': ");
    error_.append(std::strerror(code));
    return false;
  }
  std::vector<char> bytes;
  char chunk[8192];
  size_t n;
  bool too_large = false;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (bytes.size() + n > static_cast<size_t>(kMaxFileSize)) {
      too_large = true;
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (too_large || failed) {
    error_.assign("Unable to read configuration file '");
    error_.append(path);
    error_.append(too_large ? "': File is too large" : "': Read error");
    return false;
  }
  return LoadBuffer(bytes.data(), bytes.size(), path);
}

bool ConfigFile::LoadBuffer(const char* bytes, size_t size, const char* name) {
  doc_.reset();
  error_.clear();
  auto doc = std::make_unique<Document>();
  pugi::xml_parse_result result = doc->xml.load_buffer(size ? bytes : "", size);
  if (!result) {
    char line[32];
    std::snprintf(line, sizeof line, "%d", LineOfOffset(bytes, size, result.offset));
    error_.assign("Error in configuration file '");
    error_.append(name);
    error_.append("' at line ");
    error_.append(line);
    error_.append(": ");
    error_.append(result.description());
    return false;
  }
  pugi::xml_node root = doc->xml.document_element();
  if (!std::strcmp(root.name(), kSection)) {
    doc->outer = root;
  } else {
    doc->outer = root.child(kSection);
    for (pugi::xml_node location : root.children("location")) {
      pugi::xml_node section = location.child(kSection);
      if (section)
        doc->locations.push_back(
            Location{LocationPrefix(location.attribute("path").value()), section});
    }
    // Shorter prefixes first; equal lengths keep document order.
    std::stable_sort(doc->locations.begin(), doc->locations.end(),
                     [](const Location& a, const Location& b) {
                       return a.prefix.size() < b.prefix.size();
                     });
  }
  doc_ = std::move(doc);
  return true;
}

void ConfigFile::ConfigFor(const char* url_path, int32_t length, ServerConfig* config) const {
  if (!doc_) return;
  size_t url_length = static_cast<size_t>(text_length(url_path, length));
  if (!url_path) url_path = "";
  if (doc_->outer) ApplySection(doc_->outer, config);
  for (const Location& location : doc_->locations)
    if (PrefixMatches(location.prefix, url_path, url_length)) ApplySection(location.section, config);
}

}  // namespace pexo
