// The database instructions (dbopen ... dbcommand) as tag-instruction
// handlers. Every attribute arrives as a text, the first listed deepest:
//   dbopen      name file type indexes text1 text2   (dbopenx: + text3)
//   dbcreate    name file type fields text1
//   dbclose, dbpack, dbreindex, dbcommit, dbrollback, dbtransact   name
//   dbprimary   name view index
//   dbskip      name view count          dbgo   name view record
//   dbfind      name view key exact      ("1" or empty)
//   dbadd, dbupdate, dbdelete, dbundelete, dbcloseview   name view
//   dbsetindex  name indexes             dbmakeindex   name file expression flags
//   dbfilter    name view expression
//   dbrevealstructuredb   name view file
//   dbrevealstructureagg  name view variable (pushed as a variable)
//   dbopenview  name view query fields   dbquery   name query fields
//   dbcommand   name command text
// Each reports success (clearing the tag's error variable) or a runtime
// error under its tag.
#ifndef PEXO_DB_DATABASE_INSTRUCTIONS_H_
#define PEXO_DB_DATABASE_INSTRUCTIONS_H_

namespace pexo {

class TagInstructionTable;

void RegisterDatabaseInstructions(TagInstructionTable* table);

}  // namespace pexo

#endif  // PEXO_DB_DATABASE_INSTRUCTIONS_H_
