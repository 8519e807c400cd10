#include "host/engine_process.h"

#include "values/decimal.h"

namespace pexo {

EngineProcess::EngineProcess(std::chrono::milliseconds watchdog_interval)
    : threads_(watchdog_interval) {}

EngineProcess::~EngineProcess() { Stop(); }

bool EngineProcess::Start() {
  if (started_) return true;
  InitDecimalContext();
  if (!threads_.Start()) return false;
  started_ = true;
  return true;
}

void EngineProcess::Stop() {
  if (!started_) return;
  threads_.Stop();
  started_ = false;
}

}  // namespace pexo
