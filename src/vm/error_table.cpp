#include "vm/error_table.h"

#include <cctype>
#include <cstring>

#include "values/string.h"

namespace pexo {
namespace {

constexpr int32_t D = kTagErrorDisplay;
constexpr int32_t DF = kTagErrorDisplay | kTagErrorFatal;

const TagErrorSetting kDefaults[kTagCount + 1] = {
    {"PxIF", "PxIF_Error", DF},
    {"PxELSE", "PxELSE_Error", DF},
    {"PxIMPORT", "PxIMPORT_Error", D},
    {"PxIMPORTSTOP", "PxIMPORTSTOP_Error", DF},
    {"PxEXPORT", "PxEXPORT_Error", D},
    {"PxASSIGN", "PxASSIGN_Error", DF},
    {"PxEVAL", "PxEVAL_Error", DF},
    {"PxHIDE", "PxHIDE_Error", DF},
    {"PxPOP", "PxPOP_Error", D},
    {"PxPOPSTOP", "PxPOPSTOP_Error", DF},
    {"PxPOPDELETE", "PxPOPDELETE_Error", D},
    {"PxSMTP", "PxSMTP_Error", D},
    {"PxWHILE", "PxWHILE_Error", DF},
    {"PxWHILESTOP", "PxWHILESTOP_Error", DF},
    {"PxCALL", "PxCALL_Error", DF},
    {"PxCALLSTOP", "PxCALLSTOP_Error", DF},
    {"PxFUNCTION", "PxFUNCTION_Error", DF},
    {"PxFUNCTIONRETURN", "PxFUNCTIONRETURN_Error", DF},
    {"PxELSEIF", "PxELSEIF_Error", DF},
    {"PxCOMMERCE", "PxCOMMERCE_Error", DF},
    {"PxCOMMERCESTOP", "PxCOMMERCESTOP_Error", DF},
    {"PxCOMMENT", "PxCOMMENT_Error", DF},
    {"PxDO", "PxDO_Error", DF},
    {"PxLOCKFILE", "PxLOCKFILE_Error", DF},
    {"PxLOCALIZED", "PxLOCALIZED_Error", DF},
    {"PxLOCALIZED-TOKEN", "PxLOCALIZED-TOKEN_Error", DF},
    {"PxLOCALIZED-TEXT", "PxLOCALIZED-TEXT_Error", DF},
    {"PxEXIT", "PxEXIT_Error", DF},
    {"PxOPEN", "PxOPEN_Error", D},
    {"PxCLOSE", "PxCLOSE_Error", D},
    {"PxSKIP", "PxSKIP_Error", D},
    {"PxGO", "PxGO_Error", D},
    {"PxPRIMARY", "PxPRIMARY_Error", DF},
    {"PxFIND", "PxFIND_Error", D},
    {"PxSETINDEX", "PxSETINDEX_Error", D},
    {"PxUPDATE", "PxUPDATE_Error", D},
    {"PxDELETE", "PxDELETE_Error", D},
    {"PxUNDELETE", "PxUNDELETE_Error", D},
    {"PxADD", "PxADD_Error", D},
    {"PxMAKEINDEX", "PxMAKEINDEX_Error", DF},
    {"PxPACK", "PxPACK_Error", D},
    {"PxREINDEX", "PxREINDEX_Error", D},
    {"PxCREATE", "PxCREATE_Error", D},
    {"PxREVEALSTRUCTURE", "PxREVEALSTRUCTURE_Error", D},
    {"PxOPENVIEW", "PxOPENVIEW_Error", D},
    {"PxCLOSEVIEW", "PxCLOSEVIEW_Error", D},
    {"PxQUERY", "PxQUERY_Error", D},
    {"PxFILTER", "PxFILTER_Error", D},
    {"PEXO", "PEXO_Error", DF},
    {"PxASSIGNARRAY", "PxASSIGNARRAY_Error", DF},
    {"PxDIMENSION", "PxDIMENSION_Error", DF},
    {"PxMEMBER", "PxMEMBER_Error", DF},
    {"PxCOMMIT", "PxCOMMIT_Error", D},
    {"PxROLLBACK", "PxROLLBACK_Error", D},
    {"PxINCLUDE", "PxINCLUDE_Error", 0},
    {"PxTRANSACT", "PxTRANSACT_Error", D},
    {"PxREFERENCE", "PxREFERENCE_Error", D},
    {"PxREFERENCEARRAY", "PxREFERENCEARRAY_Error", D},
    {"PxDBCOMMAND", "PxDBCOMMAND_Error", D},
    {"PxCAPTURE", "PxCAPTURE_Error", D},
    {"PxIFDEF", "PxIFDEF_Error", 0},
    {"PxIFNDEF", "PxIFNDEF_Error", 0},
    {"(in expression)", "PxEXPRESSION_Error", DF},
    {"PxIMPORTCONTINUE", "PxIMPORTCONTINUE_Error", DF},
    {"PxPOPCONTINUE", "PxPOPCONTINUE_Error", DF},
    {"PxWHILECONTINUE", "PxWHILECONTINUE_Error", DF},
    {"PxCALLCONTINUE", "PxCALLCONTINUE_Error", DF},
    {"PxCOMMERCECONTINUE", "PxCOMMERCECONTINUE_Error", DF},
    {"PxFOREACH", "PxFOREACH_Error", DF},
    {"PxFOREACHSTOP", "PxFOREACHSTOP_Error", DF},
    {"PxFOREACHCONTINUE", "PxFOREACHCONTINUE_Error", DF},
    {"PxFOR", "PxFOR_Error", DF},
    {"PxFORSTOP", "PxFORSTOP_Error", DF},
    {"PxFORCONTINUE", "PxFORCONTINUE_Error", DF},
    {"PxASSEMBLY", "PxASSEMBLY_Error", 0},
    {"PxASYNCHRONOUS", "PxASYNCHRONOUS_Error", D},
    {nullptr, nullptr, 0},
};

bool contains(const char* text, int32_t length, const char* word) {
  size_t word_length = std::strlen(word);
  for (int32_t i = 0; i + static_cast<int32_t>(word_length) <= length; ++i)
    if (std::memcmp(text + i, word, word_length) == 0) return true;
  return false;
}

}  // namespace

TagErrorTable::TagErrorTable() { std::memcpy(tags_, kDefaults, sizeof(tags_)); }

const TagErrorSetting* TagErrorTable::tag(int32_t number) const {
  return number >= 0 && number < kTagCount ? &tags_[number] : nullptr;
}

int32_t TagErrorTable::flags(int32_t number) const {
  const TagErrorSetting* setting = tag(number);
  return setting ? setting->flags : (kTagErrorDisplay | kTagErrorFatal);
}

void TagErrorTable::set_flags(int32_t number, int32_t flags) {
  if (number >= 0 && number < kTagCount) tags_[number].flags = flags;
}

int32_t TagErrorTable::find(const char* name, int32_t length) {
  length = text_length(name, length);
  for (int32_t i = 0; i < kTagCount; ++i) {
    const char* tag = kDefaults[i].name;
    if (equals_nocase(name, length, tag, static_cast<int32_t>(std::strlen(tag)))) return i;
  }
  return -1;
}

int TagErrorTable::set_from_text(const char* name, int32_t name_length, const char* text,
                                 int32_t text_length_) {
  int32_t number = find(name, name_length);
  if (number < 0) return 0;
  tags_[number].flags = TagFlagsFromText(text, text_length_);
  return 1;
}

int32_t TagFlagsFromText(const char* text, int32_t length) {
  length = text_length(text, length);
  int32_t flags = 0;
  if (contains(text, length, "fatal")) flags |= kTagErrorFatal;
  if (contains(text, length, "display")) flags |= kTagErrorDisplay;
  return flags;
}

}  // namespace pexo
