#include "host/do_context_cache.h"

#include "host/file_path.h"
#include "host/posix_file_manager.h"
#include "values/config.h"
#include "vm/error_table.h"
#include "vm/pexo_vm.h"

namespace pexo {

DoContextCache::~DoContextCache() {
  table_.clear();
  order_.clear();
}

DoContext* DoContextCache::Get(PexoVM* caller, const char* name, int32_t length) {
  // The same call again (a loop): the context it gave is still the most
  // recently used one.
  const String& base = caller->base_directory();
  if (last_ && last_name_.size() == static_cast<size_t>(length) &&
      last_name_.compare(0, last_name_.size(), name, static_cast<size_t>(length)) == 0 &&
      last_base_.size() == static_cast<size_t>(base.length()) &&
      last_base_.compare(0, last_base_.size(), base.data(), last_base_.size()) == 0)
    return last_;
  last_ = nullptr;
  DoContext* context = Find(caller, name, length);
  if (context) {
    last_ = context;
    last_name_.assign(name, static_cast<size_t>(length));
    last_base_.assign(base.data(), static_cast<size_t>(base.length()));
  }
  return context;
}

DoContext* DoContextCache::Find(PexoVM* caller, const char* name, int32_t length) {
  String path;
  if (length > 0 && IsPathSeparator(name[0])) {
    path.assign(name, length);
  } else {
    path.assign(caller->base_directory());
    path.append(name, length);
  }
  std::string given(path.data(), static_cast<size_t>(path.length()));
  auto known = resolved_.find(given);
  if (known == resolved_.end()) {
    String full;
    if (!files_->ResolvePath(FILE_SCRIPT, path.data(), path.length(), &full)) {
      caller->runtime_error(kTagPxDO, files_->ErrorText().c_str());
      return nullptr;
    }
    known = resolved_.emplace(given, std::string(full.data(), static_cast<size_t>(full.length())))
                .first;
  }
  const std::string& key = known->second;
  auto found = table_.find(key);
  if (found != table_.end()) {
    if (found->second != order_.begin()) order_.splice(order_.begin(), order_, found->second);
    return order_.front().get();
  }
  int32_t limit = config_ ? config_->GetInteger(CFG_MAX_DOCACHE) : 0;
  if (limit > 0 && size() >= limit) Evict(limit);
  auto context = std::make_unique<DoContext>(path);
  int64_t cache_limit = programs_ && config_ ? config_->GetInteger(CFG_PROGRAM_CACHE_BYTES) : 0;
  if (!context->Load(files_, caller, programs_, cache_limit)) {
    caller->runtime_error(kTagPxDO, context->error().c_str());
    return nullptr;
  }
  ++loads_;
  order_.push_front(std::move(context));
  table_[key] = order_.begin();
  return order_.front().get();
}

void DoContextCache::Evict(int32_t limit) {
  last_ = nullptr;
  for (auto it = order_.end(); it != order_.begin() && size() >= limit;) {
    --it;
    if ((*it)->in_use()) continue;
    for (auto entry = table_.begin(); entry != table_.end(); ++entry) {
      if (entry->second == it) {
        table_.erase(entry);
        break;
      }
    }
    it = order_.erase(it);
  }
}

}  // namespace pexo
