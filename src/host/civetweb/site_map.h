// SiteMap: what a decoded request path names in the standalone server's
// site directory, decided before anything is read or run.
//
// A path is resolved as the engine's file layer resolves a script path: ".."
// cannot climb out of the site, and a path through a symbolic link that
// leads outside it is refused. A name ending in ".pxc" in any letter case is
// a program to run; a directory runs its default file, else serves its
// "index.html". Any other regular file is static content, except compiled
// programs and their ".pxa" sources, the configuration file, and paths with
// a component matching a deny pattern (shell wildcards, any letter case),
// which are missing as far as the client can tell. Deny patterns refuse
// programs too.
#ifndef PEXO_HOST_CIVETWEB_SITE_MAP_H_
#define PEXO_HOST_CIVETWEB_SITE_MAP_H_

#include <string>
#include <vector>

namespace pexo {

struct SiteTarget {
  enum Kind { kMissing, kProgram, kStatic };
  Kind kind = kMissing;
  std::string url_path;  // normalised; a directory's default file appended
  std::string file;      // the full path inside the site
};

class SiteMap {
 public:
  // `site`: the site directory with its links resolved; `config`: the
  // configuration file, "" when there is none.
  SiteMap(std::string site, std::string default_file, const std::string& config,
          std::vector<std::string> deny);

  SiteTarget Find(const std::string& url_path) const;

 private:
  SiteTarget FindDirectory(const std::string& url_path) const;
  bool Denied(const std::string& url_path) const;

  std::string site_;
  std::string default_file_;
  std::string config_real_;  // "" when there is none
  std::vector<std::string> deny_;
};

}  // namespace pexo

#endif  // PEXO_HOST_CIVETWEB_SITE_MAP_H_
