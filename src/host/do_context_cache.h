// DoContextCache: the request's PxDO contexts, keyed by the called file's
// full path and kept in most-recently-used order. When `max_docache` is set
// and reached, the least recently used contexts that no running PxDO holds
// are evicted before a new one is loaded; a context in use is never evicted,
// so the cache may then stay above the limit.
//
// DoContextHost is what a host that runs PxDO offers: the cache of its
// request, shared by the request's machine and every context machine.
#ifndef PEXO_HOST_DO_CONTEXT_CACHE_H_
#define PEXO_HOST_DO_CONTEXT_CACHE_H_

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "host/do_context.h"

namespace pexo {

class Config;
class PexoVM;
class PosixFileManager;
class ProgramCache;

class DoContextCache {
 public:
  // `programs` (may be null) is the process's program cache, which called
  // files are loaded through like the request's own program.
  DoContextCache(PosixFileManager* files, Config* config, ProgramCache* programs = nullptr)
      : files_(files), config_(config), programs_(programs) {}
  ~DoContextCache();

  // The context of a file named by a script: "/..." from the script root,
  // otherwise below the caller's directory. Null after raising the runtime
  // error of PxDO on `caller`.
  DoContext* Get(PexoVM* caller, const char* name, int32_t length);

  // Each nested PxDO runs on the request thread's own stack, so their
  // depth is bounded: Enter is false past kMaxDoNesting.
  static constexpr int32_t kMaxDoNesting = 64;
  bool Enter() {
    if (nesting_ >= kMaxDoNesting) return false;
    ++nesting_;
    return true;
  }
  void Leave() { --nesting_; }

  int32_t size() const { return static_cast<int32_t>(order_.size()); }
  // Contexts loaded so far, evicted ones included.
  int32_t loads() const { return loads_; }

 private:
  using Order = std::list<std::unique_ptr<DoContext>>;
  DoContext* Find(PexoVM* caller, const char* name, int32_t length);
  void Evict(int32_t limit);

  PosixFileManager* files_;
  Config* config_;
  ProgramCache* programs_;
  Order order_;  // most recently used first
  std::unordered_map<std::string, Order::iterator> table_;
  // Names as the scripts gave them (joined to the caller's directory) to
  // their full paths: a file called in a loop is resolved once.
  std::unordered_map<std::string, std::string> resolved_;
  // The last call's name, caller's directory and context (always the
  // front of order_); null when it may have gone.
  DoContext* last_ = nullptr;
  std::string last_name_;
  std::string last_base_;
  int32_t loads_ = 0;
  int32_t nesting_ = 0;
};

class DoContextHost {
 public:
  virtual ~DoContextHost() = default;
  virtual DoContextCache* DoContexts() = 0;
};

}  // namespace pexo

#endif  // PEXO_HOST_DO_CONTEXT_CACHE_H_
