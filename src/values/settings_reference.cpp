#include "values/settings_reference.h"

#include <cstdio>
#include <cstring>

#include "values/config.h"

namespace pexo {
namespace {

const char kNothing[] = "\xE2\x80\x93";  // en dash

void AppendType(const Setting& s, String* out) {
  switch (s.type) {
    case SettingType::kText: out->append("text"); return;
    case SettingType::kBoolean: out->append("boolean (0 or 1)"); return;
    case SettingType::kInteger:
    case SettingType::kBits: break;
  }
  out->append("integer");
  if (*s.unit) {
    out->append(" (");
    out->append(s.unit);
    out->append(")");
  }
}

void AppendDefault(const Setting& s, String* out) {
  switch (s.default_kind) {
    case SettingDefault::kNone:
      out->append("none");
      return;
    case SettingDefault::kServerName:
      out->append("the request's server name, stored on first use");
      return;
    case SettingDefault::kBuiltIn:
    case SettingDefault::kPlatform:
      break;
  }
  if (s.text_default) {
    out->append("`");
    out->append(s.text_default);
    out->append("`");
  } else {
    char number[16];
    std::snprintf(number, sizeof number, "%d", s.integer_default);
    out->append(number);
  }
}

// `a b c` as "`a`, `b`, `c`".
void AppendAttributes(const char* names, String* out) {
  bool first = true;
  while (*names) {
    size_t length = std::strcspn(names, " ");
    if (length) {
      if (!first) out->append(", ");
      out->append("`");
      out->append(names, static_cast<int32_t>(length));
      out->append("`");
      first = false;
    }
    names += length;
    if (*names) ++names;
  }
}

void AppendPlace(const Setting& s, String* out) {
  if (!s.element) {
    out->append(kNothing);
    return;
  }
  if (*s.element) {
    out->append("`");
    out->append(s.element);
    out->append("` ");
  } else {
    out->append("section ");
  }
  AppendAttributes(s.attributes, out);
  if (s.type == SettingType::kBits) out->append(" (OR-ed)");
}

void AppendRow(const Setting& s, String* out) {
  char key[16];
  std::snprintf(key, sizeof key, "0x%07X", static_cast<unsigned>(s.key));
  out->append("| `");
  out->append(s.name);
  out->append("`");
  if (!s.shown) out->append("\xC2\xB9");  // superscript one
  out->append(" | ");
  out->append(key);
  out->append(" | ");
  AppendType(s, out);
  out->append(" | ");
  AppendDefault(s, out);
  if (s.default_kind == SettingDefault::kPlatform) out->append("\xC2\xB2");  // superscript two
  out->append(" | ");
  AppendPlace(s, out);
  out->append(" |\n");
}

}  // namespace

void WriteSettingsReference(String* out) {
  out->assign(
      "# Settings\n"
      "\n"
      "Made from `src/values/config_list.h` by `scripts/settings_doc.sh`; edit the table,\n"
      "not this file (a test compares the two). How the file is laid out and how its\n"
      "values are written is in [configuration.md](configuration.md).\n"
      "\n"
      "Every setting is a key of the request's configuration store and, under its name,\n"
      "a member of `pexo_config`, in this order. A key that is read but was never set is\n"
      "given its default on first read. A key without a default reads as -1 (integer)\n"
      "or as no text; through `pexo_config` it reads as 0 or as the empty text. The\n"
      "last column is where the configuration file sets it: an attribute of the\n"
      "`PexoScript` section itself or of one of its child elements.\n"
      "\n"
      "\xC2\xB9 Not a member of `pexo_config`.\n"
      "\xC2\xB2 The default of this platform.\n"
      "\n"
      "| name | key | type | default | file |\n"
      "|---|---|---|---|---|\n");
  int32_t count = 0;
  const Setting* settings = Settings(&count);
  for (int32_t i = 0; i < count; ++i) AppendRow(settings[i], out);
}

}  // namespace pexo
