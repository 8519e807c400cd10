// The table of tag error settings: 76 tags numbered 0..75, each with its
// name, the name of its error variable and a flags word (bit 0 display the
// message in the page, bit 1 the error is fatal). The process holds the
// defaults; every machine works on its own copy, so a program's changes last
// for its request only.
#ifndef PEXO_VM_ERROR_TABLE_H_
#define PEXO_VM_ERROR_TABLE_H_

#include <cstdint>

namespace pexo {

// One row per tag in number order: PEXO_TAG(id, name, default flags), the
// flags being None, D (display) or DF (display and fatal). The error
// variable is the name followed by "_Error", except for Expression (the tag
// of errors in expressions), whose name is not a tag's.
#define PEXO_TAG_LIST(PEXO_TAG) \
  PEXO_TAG(PxIF, "PxIF", DF) \
  PEXO_TAG(PxELSE, "PxELSE", DF) \
  PEXO_TAG(PxIMPORT, "PxIMPORT", D) \
  PEXO_TAG(PxIMPORTSTOP, "PxIMPORTSTOP", DF) \
  PEXO_TAG(PxEXPORT, "PxEXPORT", D) \
  PEXO_TAG(PxASSIGN, "PxASSIGN", DF) \
  PEXO_TAG(PxEVAL, "PxEVAL", DF) \
  PEXO_TAG(PxHIDE, "PxHIDE", DF) \
  PEXO_TAG(PxPOP, "PxPOP", D) \
  PEXO_TAG(PxPOPSTOP, "PxPOPSTOP", DF) \
  PEXO_TAG(PxPOPDELETE, "PxPOPDELETE", D) \
  PEXO_TAG(PxSMTP, "PxSMTP", D) \
  PEXO_TAG(PxWHILE, "PxWHILE", DF) \
  PEXO_TAG(PxWHILESTOP, "PxWHILESTOP", DF) \
  PEXO_TAG(PxCALL, "PxCALL", DF) \
  PEXO_TAG(PxCALLSTOP, "PxCALLSTOP", DF) \
  PEXO_TAG(PxFUNCTION, "PxFUNCTION", DF) \
  PEXO_TAG(PxFUNCTIONRETURN, "PxFUNCTIONRETURN", DF) \
  PEXO_TAG(PxELSEIF, "PxELSEIF", DF) \
  PEXO_TAG(PxCOMMERCE, "PxCOMMERCE", DF) \
  PEXO_TAG(PxCOMMERCESTOP, "PxCOMMERCESTOP", DF) \
  PEXO_TAG(PxCOMMENT, "PxCOMMENT", DF) \
  PEXO_TAG(PxDO, "PxDO", DF) \
  PEXO_TAG(PxLOCKFILE, "PxLOCKFILE", DF) \
  PEXO_TAG(PxLOCALIZED, "PxLOCALIZED", DF) \
  PEXO_TAG(PxLOCALIZED_TOKEN, "PxLOCALIZED-TOKEN", DF) \
  PEXO_TAG(PxLOCALIZED_TEXT, "PxLOCALIZED-TEXT", DF) \
  PEXO_TAG(PxEXIT, "PxEXIT", DF) \
  PEXO_TAG(PxOPEN, "PxOPEN", D) \
  PEXO_TAG(PxCLOSE, "PxCLOSE", D) \
  PEXO_TAG(PxSKIP, "PxSKIP", D) \
  PEXO_TAG(PxGO, "PxGO", D) \
  PEXO_TAG(PxPRIMARY, "PxPRIMARY", DF) \
  PEXO_TAG(PxFIND, "PxFIND", D) \
  PEXO_TAG(PxSETINDEX, "PxSETINDEX", D) \
  PEXO_TAG(PxUPDATE, "PxUPDATE", D) \
  PEXO_TAG(PxDELETE, "PxDELETE", D) \
  PEXO_TAG(PxUNDELETE, "PxUNDELETE", D) \
  PEXO_TAG(PxADD, "PxADD", D) \
  PEXO_TAG(PxMAKEINDEX, "PxMAKEINDEX", DF) \
  PEXO_TAG(PxPACK, "PxPACK", D) \
  PEXO_TAG(PxREINDEX, "PxREINDEX", D) \
  PEXO_TAG(PxCREATE, "PxCREATE", D) \
  PEXO_TAG(PxREVEALSTRUCTURE, "PxREVEALSTRUCTURE", D) \
  PEXO_TAG(PxOPENVIEW, "PxOPENVIEW", D) \
  PEXO_TAG(PxCLOSEVIEW, "PxCLOSEVIEW", D) \
  PEXO_TAG(PxQUERY, "PxQUERY", D) \
  PEXO_TAG(PxFILTER, "PxFILTER", D) \
  PEXO_TAG(PEXO, "PEXO", DF) \
  PEXO_TAG(PxASSIGNARRAY, "PxASSIGNARRAY", DF) \
  PEXO_TAG(PxDIMENSION, "PxDIMENSION", DF) \
  PEXO_TAG(PxMEMBER, "PxMEMBER", DF) \
  PEXO_TAG(PxCOMMIT, "PxCOMMIT", D) \
  PEXO_TAG(PxROLLBACK, "PxROLLBACK", D) \
  PEXO_TAG(PxINCLUDE, "PxINCLUDE", None) \
  PEXO_TAG(PxTRANSACT, "PxTRANSACT", D) \
  PEXO_TAG(PxREFERENCE, "PxREFERENCE", D) \
  PEXO_TAG(PxREFERENCEARRAY, "PxREFERENCEARRAY", D) \
  PEXO_TAG(PxDBCOMMAND, "PxDBCOMMAND", D) \
  PEXO_TAG(PxCAPTURE, "PxCAPTURE", D) \
  PEXO_TAG(PxIFDEF, "PxIFDEF", None) \
  PEXO_TAG(PxIFNDEF, "PxIFNDEF", None) \
  PEXO_TAG(Expression, "(in expression)", DF) \
  PEXO_TAG(PxIMPORTCONTINUE, "PxIMPORTCONTINUE", DF) \
  PEXO_TAG(PxPOPCONTINUE, "PxPOPCONTINUE", DF) \
  PEXO_TAG(PxWHILECONTINUE, "PxWHILECONTINUE", DF) \
  PEXO_TAG(PxCALLCONTINUE, "PxCALLCONTINUE", DF) \
  PEXO_TAG(PxCOMMERCECONTINUE, "PxCOMMERCECONTINUE", DF) \
  PEXO_TAG(PxFOREACH, "PxFOREACH", DF) \
  PEXO_TAG(PxFOREACHSTOP, "PxFOREACHSTOP", DF) \
  PEXO_TAG(PxFOREACHCONTINUE, "PxFOREACHCONTINUE", DF) \
  PEXO_TAG(PxFOR, "PxFOR", DF) \
  PEXO_TAG(PxFORSTOP, "PxFORSTOP", DF) \
  PEXO_TAG(PxFORCONTINUE, "PxFORCONTINUE", DF) \
  PEXO_TAG(PxASSEMBLY, "PxASSEMBLY", None) \
  PEXO_TAG(PxASYNCHRONOUS, "PxASYNCHRONOUS", D)

// Tag numbers: kTagPxIF = 0 ... kTagPxASYNCHRONOUS = 75.
enum TagNumber : int32_t {
#define PEXO_TAG_NUMBER(id, name, flags) kTag##id,
  PEXO_TAG_LIST(PEXO_TAG_NUMBER)
#undef PEXO_TAG_NUMBER
  kTagCount
};
static_assert(kTagCount == 76, "the tag table has 76 tags");

constexpr int32_t kTagErrorDisplay = 1;
constexpr int32_t kTagErrorFatal = 2;

struct TagErrorSetting {
  const char* name;
  const char* variable;  // the tag's error variable
  int32_t flags;
};

class TagErrorTable {
 public:
  // A copy of the process defaults.
  TagErrorTable();

  // Null for a number outside 0..75.
  const TagErrorSetting* tag(int32_t number) const;
  int32_t flags(int32_t number) const;
  // Ignored for a number outside 0..75.
  void set_flags(int32_t number, int32_t flags);
  // Tag number by name (any letter case), or -1.
  static int32_t find(const char* name, int32_t length);

  // Replaces a tag's flags from a configured text: fatal when it contains
  // "fatal", displayed when it contains "display". Returns 0 for an unknown
  // tag name.
  int set_from_text(const char* name, int32_t name_length, const char* text,
                    int32_t text_length);

 private:
  TagErrorSetting tags_[kTagCount + 1];  // closed by an empty entry
};

// Flags word of a configured setting text (see set_from_text).
int32_t TagFlagsFromText(const char* text, int32_t length);

}  // namespace pexo

#endif  // PEXO_VM_ERROR_TABLE_H_
