// ClonedPexoVM: the machine of a background task, a copy of the machine that
// started it, positioned at the first instruction of the task's block.
//
// The clone owns copies of everything it runs on: the dictionary, the
// segments, the functions (library functions unbound), the system and global
// scopes (their variables deep-copied unless isolated), the current local
// scope when the parent was inside a function, and the registers, source
// position, fatal flag, trace mask and tag error settings. Nothing of the
// parent is referenced after construction, so a task on another thread never
// touches its parent's tables and the parent may end first.
//
// The host supplies what belongs to the task's own host object in
// `host_context`: application, flags, library managers, files, configuration,
// instruction table and the factories of databases and network state (the
// task opens its own; it never shares its parent's open tables); the program
// tables and the localized texts in it are replaced by the copies.
// Construct on the parent's thread while the parent is stopped at the start
// instruction; run with run_task() on the task's thread.
#ifndef PEXO_VM_CLONED_PEXO_VM_H_
#define PEXO_VM_CLONED_PEXO_VM_H_

#include <cstdint>
#include <memory>

#include "l10n/localized_tables.h"
#include "l10n/localizer.h"
#include "program/function_manager.h"
#include "program/segment_manager.h"
#include "values/dictionary.h"
#include "values/string.h"
#include "vm/pexo_vm.h"

namespace pexo {

// Isolation bits of a task: scopes the clone does not copy.
enum TaskIsolation : int32_t {
  kIsolateSystem = 1,  // the host fills the task's system variables
  kIsolateGlobal = 2,  // the task starts with empty globals
};

// Parses an isolation text: comma-separated words, blanks around each
// ignored, empty parts skipped, "system" and "global" in any letter case.
// False with the offending part in `unsupported` otherwise.
bool ParseTaskIsolation(const char* text, int32_t length, int32_t* bits, String* unsupported);

// What the task's host lends the clone's localized texts: its own reader of
// the compiled file (indexes the parent had not loaded are read from it)
// and its language settings. Either may be null.
struct CloneLocalization {
  TaggedFile* file = nullptr;
  SystemVariableHost* settings = nullptr;
};

// The copied tables; a base of ClonedPexoVM so that they exist before the
// machine that runs on them and outlive it.
struct ClonedProgramTables {
  ClonedProgramTables(PexoVM* parent, int32_t isolation, const CloneLocalization& localization);
  ~ClonedProgramTables();
  ClonedProgramTables(const ClonedProgramTables&) = delete;
  ClonedProgramTables& operator=(const ClonedProgramTables&) = delete;

  Dictionary dictionary;
  SegmentManager segments;
  FunctionManager functions;
  VariableHash* system = nullptr;
  VariableHash* globals = nullptr;
  // Null when the parent has no localized texts.
  std::unique_ptr<LocalizedTables> localized;
  std::unique_ptr<Localizer> localizer;
  bool copied = false;
};

class ClonedPexoVM : private ClonedProgramTables, public PexoVM {
 public:
  // Null with the reason in `error` when a copy cannot be made.
  static std::unique_ptr<ClonedPexoVM> Create(PexoVM* parent, int32_t isolation,
                                              const ProgramContext& host_context,
                                              const CloneLocalization& localization,
                                              String* error);
  ~ClonedPexoVM() override;

  // Runs the block under an asynchronous frame until a return at the
  // block's level, exit, the end of the segment, a fatal error or a
  // time-out. 1 when it ended normally, 0 when it was stopped.
  int run_task();

  VariableHash* system_scope() const { return system; }

 private:
  ClonedPexoVM(PexoVM* parent, int32_t isolation, const ProgramContext& host_context,
               const CloneLocalization& localization);
  static ProgramContext Compose(const ProgramContext& host, ClonedProgramTables* tables);
  bool CopyState(PexoVM* parent);
};

}  // namespace pexo

#endif  // PEXO_VM_CLONED_PEXO_VM_H_
