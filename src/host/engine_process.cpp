#include "host/engine_process.h"

#include "ext/posix_external_library_manager.h"
#include "values/decimal.h"

namespace pexo {

EngineProcess::EngineProcess(std::chrono::milliseconds watchdog_interval)
    : threads_(watchdog_interval) {}

EngineProcess::~EngineProcess() { Stop(); }

bool EngineProcess::Start() {
  if (started_) return true;
  InitDecimalContext();
  owns_libraries_ = StartExternalLibraries();
  if (!ProcessLibraryManager() || !threads_.Start()) {
    StopLibraries();
    return false;
  }
  started_ = true;
  return true;
}

void EngineProcess::Stop() {
  if (!started_) return;
  // Task threads may still call library functions until they have ended.
  threads_.Stop();
  StopLibraries();
  started_ = false;
}

void EngineProcess::StopLibraries() {
  if (owns_libraries_) StopExternalLibraries();
  owns_libraries_ = false;
}

}  // namespace pexo
