// The reference of the configuration settings as Markdown (docs/settings.md),
// made from the settings table (values/config_list.h).
#ifndef PEXO_VALUES_SETTINGS_REFERENCE_H_
#define PEXO_VALUES_SETTINGS_REFERENCE_H_

#include "values/string.h"

namespace pexo {

// Replaces `out` with the whole document.
void WriteSettingsReference(String* out);

}  // namespace pexo

#endif  // PEXO_VALUES_SETTINGS_REFERENCE_H_
