// The flat-file tags as machine instructions. Attributes are texts, pushed
// deepest first:
//
//   export                     file, fields, delimiter
//   import <past>              file, fields, delimiter
//   importf <past>             file, fields, delimiter, filter
//   import_loop <body>         (stands at the end of the loop's body)
//   import_stop <past>
//
// Each integer operand is a jump distance from the first byte after the
// instruction: import/importf jump past the loop when the file cannot be
// read or has no (passing) line, import_loop jumps back to the body while
// lines remain, import_stop jumps past the loop.
#ifndef PEXO_DB_IMPORT_EXPORT_INSTRUCTIONS_H_
#define PEXO_DB_IMPORT_EXPORT_INSTRUCTIONS_H_

namespace pexo {

class TagInstructionTable;

void RegisterImportExportInstructions(TagInstructionTable* table);

}  // namespace pexo

#endif  // PEXO_DB_IMPORT_EXPORT_INSTRUCTIONS_H_
