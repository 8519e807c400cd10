#include "host/civetweb/site_map.h"

#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "host/posix_file_manager.h"

namespace pexo {

namespace {

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  size_t n = std::strlen(suffix);
  return text.size() >= n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

std::string RealPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  std::string out = real ? real : "";
  std::free(real);
  return out;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

SiteMap::SiteMap(std::string site, std::string default_file, const std::string& config,
                 std::vector<std::string> deny)
    : site_(std::move(site)), default_file_(std::move(default_file)), deny_(std::move(deny)) {
  if (!config.empty()) config_real_ = RealPath(config);
}

SiteTarget SiteMap::Find(const std::string& url_path) const {
  SiteTarget target;
  PosixFileManager files(nullptr);
  String full;
  if (!files.SetScriptDirectory(site_.data(), static_cast<int32_t>(site_.size())) ||
      !files.ResolvePath(FILE_SCRIPT, url_path.data(), static_cast<int32_t>(url_path.size()),
                         &full)) {
    return target;
  }
  std::string file(full.data(), static_cast<size_t>(full.length()));
  std::string path = site_ == "/" ? file : file.substr(site_.size());
  if (path.empty()) path = "/";
  if (Denied(path)) return target;
  if (EndsWithNoCase(path, ".pxc")) {
    // Run even when missing: the application reports it.
    return SiteTarget{SiteTarget::kProgram, path, file};
  }
  struct stat info;
  if (stat(file.c_str(), &info) != 0) return target;
  if (S_ISDIR(info.st_mode)) return FindDirectory(path);
  if (!S_ISREG(info.st_mode) || EndsWithNoCase(path, ".pxa")) return target;
  if (!config_real_.empty() && RealPath(file) == config_real_) return target;
  return SiteTarget{SiteTarget::kStatic, path, file};
}

SiteTarget SiteMap::FindDirectory(const std::string& url_path) const {
  std::string base = url_path == "/" ? url_path : url_path + "/";
  // Only regular files are looked up, so this never recurses further.
  for (const std::string& name : {default_file_, std::string("index.html")}) {
    if (!name.empty() && IsRegularFile(site_ + base + name)) return Find(base + name);
  }
  return SiteTarget();
}

bool SiteMap::Denied(const std::string& url_path) const {
  size_t at = 0;
  while (at < url_path.size()) {
    size_t end = url_path.find('/', at);
    if (end == std::string::npos) end = url_path.size();
    std::string component = url_path.substr(at, end - at);
    for (const std::string& pattern : deny_) {
      if (!component.empty() && fnmatch(pattern.c_str(), component.c_str(), FNM_CASEFOLD) == 0) {
        return true;
      }
    }
    at = end + 1;
  }
  return false;
}

}  // namespace pexo
