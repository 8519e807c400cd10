// Rebuilds (pack, reindex) write every new file as a temporary file beside
// the one it replaces and swap them in only when all are complete.
//
// The swap: every new file is flushed; then a rename list ("temporary TAB
// original" lines) is written and flushed beside the table as
// "<table>.rbj"; then each temporary file is renamed over its original and
// the list removed. A kill before the list exists leaves every original as
// it was; a kill after leaves a list that the next open of the table
// finishes (renaming the temporary files still present), so the table, its
// memo file and its indexes are either all old or all new.
#ifndef PEXO_DB_XBASE_XBASE_REBUILD_H_
#define PEXO_DB_XBASE_XBASE_REBUILD_H_

#include <vector>

#include "db/database_file.h"
#include "values/string.h"

namespace pexo {

// A file being rebuilt and the temporary file made beside it.
struct XBaseTemporaryFile {
  String original;
  String temporary;
};

// The rename list's name for a table file.
String RebuildJournalName(const String& table);
// Makes an empty temporary file beside `original`.
bool MakeTemporaryBeside(DatabaseFileManager* files, const String& original,
                         XBaseTemporaryFile* out, String* error);
// Swaps the temporary files in (they must be closed and flushed).
bool CommitRebuild(DatabaseFileManager* files, const String& table,
                   const std::vector<XBaseTemporaryFile>& swaps, String* error);
// Finishes a swap a killed rebuild left; nothing when there is none.
bool RecoverRebuild(DatabaseFileManager* files, const String& table, String* error);
// Removes the temporary files of a failed rebuild.
void DiscardRebuild(DatabaseFileManager* files, const std::vector<XBaseTemporaryFile>& swaps);

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_REBUILD_H_
