// pxcfgdoc: prints the settings reference (docs/settings.md) made from the
// settings table.
#include <cstdio>

#include "values/settings_reference.h"

int main() {
  pexo::String text;
  pexo::WriteSettingsReference(&text);
  return std::fwrite(text.data(), 1, static_cast<size_t>(text.length()), stdout) ==
                 static_cast<size_t>(text.length())
             ? 0
             : 1;
}
