#include "values/release_queue.h"

#include <algorithm>
#include <vector>

#include "values/variable.h"

namespace pexo {

namespace {

// Per thread: variables run on request threads and task threads of their
// own, and a destruction never crosses threads.
struct PendingReleases {
  std::vector<Variable*> queue;
  bool draining = false;
};

thread_local PendingReleases pending;

// Deletes one variable; whatever its destructor queued is reversed so the
// first element queued is the next one popped (pre-order, as recursion).
void DeleteOne(Variable* variable) {
  size_t mark = pending.queue.size();
  delete variable;
  std::reverse(pending.queue.begin() + static_cast<std::ptrdiff_t>(mark), pending.queue.end());
}

}  // namespace

void DestroyVariable(Variable* variable) {
  if (!variable) return;
  if (pending.draining) {
    pending.queue.push_back(variable);
    return;
  }
  pending.draining = true;
  DeleteOne(variable);
  while (!pending.queue.empty()) {
    Variable* next = pending.queue.back();
    pending.queue.pop_back();
    DeleteOne(next);
  }
  pending.draining = false;
  // A huge nest leaves a huge buffer: give it back.
  if (pending.queue.capacity() > 4096) std::vector<Variable*>().swap(pending.queue);
}

}  // namespace pexo
