#include "values/decimal.h"

#include <mutex>

namespace pexo {
namespace {
mpd_context_t g_context;
std::once_flag g_once;
}  // namespace

void InitDecimalContext() {
  std::call_once(g_once, [] {
    mpd_ieee_context(&g_context, MPD_DECIMAL64);
    g_context.traps = 0;
  });
}

mpd_context_t* DecimalContext() {
  // A local static's guard is one load once initialised; the call_once
  // behind it runs only the first time.
  static mpd_context_t* const context = [] {
    InitDecimalContext();
    return &g_context;
  }();
  return context;
}

}  // namespace pexo
