// Helpers shared by the scope tests: hand-built prepared name tables.
#ifndef PEXO_TESTS_SCOPES_SCOPE_TEST_UTIL_H_
#define PEXO_TESTS_SCOPES_SCOPE_TEST_UTIL_H_

#include <cstring>
#include <string>
#include <vector>

#include "values/dictionary.h"
#include "values/name_table.h"
#include "values/lookup2.h"
#include "values/string.h"

namespace pexo {
namespace testing_util {

inline int32_t SlotOf(const std::string& name, int32_t bits) {
  uint32_t mask = static_cast<uint32_t>((uint64_t{1} << (bits % 32)) - 1);
  return static_cast<int32_t>(lookup2_nocase(name.data(), static_cast<uint32_t>(name.size())) & mask);
}

// Builds a table as a compiler would: names numbered in the given order,
// each linked into its slot's chain by length, then case-insensitively.
inline NameTable MakeTable(Dictionary* dict, int32_t bits, const std::vector<std::string>& names) {
  NameTable t;
  t.bucket_bits = bits;
  t.buckets.assign(size_t{1} << (bits % 32), -1);
  t.next.assign(names.size(), -1);
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& n = names[i];
    t.names.push_back(dict->add(n.data(), static_cast<int32_t>(n.size())));
    int32_t* link = &t.buckets[static_cast<size_t>(SlotOf(n, bits))];
    while (*link >= 0) {
      const std::string& other = names[static_cast<size_t>(*link)];
      bool before = n.size() < other.size() ||
                    (n.size() == other.size() &&
                     compare_nocase(n.data(), static_cast<int32_t>(n.size()), other.data(),
                                    static_cast<int32_t>(other.size())) < 0);
      if (before) break;
      link = &t.next[static_cast<size_t>(*link)];
    }
    t.next[i] = *link;
    *link = static_cast<int32_t>(i);
  }
  return t;
}

inline std::string Text(const String& s) { return std::string(s.data(), static_cast<size_t>(s.length())); }

}  // namespace testing_util
}  // namespace pexo

#endif  // PEXO_TESTS_SCOPES_SCOPE_TEST_UTIL_H_
