// Consistency checks of an index file: the B-tree invariants (entries in
// order under the index's comparison, every page within its fill bounds,
// every page reached once, all leaves at one depth) and its entries against
// the keys a table scan gives.
#ifndef PEXO_DB_XBASE_XBASE_INDEX_CHECK_H_
#define PEXO_DB_XBASE_XBASE_INDEX_CHECK_H_

#include <string>
#include <vector>

#include "db/xbase/xbase_index_file.h"

namespace pexo {

// Walks the whole tree; `entries` receives every entry in order. False with
// the first violation in `error`.
bool CheckIndexTree(XBaseIndexFile* index, std::vector<VRKIndexEntry>* entries,
                    std::string* error);
// Whether `entries` hold exactly `expected` (key cut as stored, record), in
// any order of equal keys; false with the first difference in `error`.
bool CompareIndexEntries(const XBaseIndexFile& index, const std::vector<VRKIndexEntry>& entries,
                         std::vector<VRKIndexEntry> expected, std::string* error);

}  // namespace pexo

#endif  // PEXO_DB_XBASE_XBASE_INDEX_CHECK_H_
