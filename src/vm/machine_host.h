// PexoApplication: what the machine asks of the host that runs it for one
// request. The host owns the output, the configuration and the logs; the
// machine only writes through this interface, reports its errors here and
// hands its trace events over. A request-serving host and the command-line
// runner implement it.
#ifndef PEXO_VM_MACHINE_HOST_H_
#define PEXO_VM_MACHINE_HOST_H_

#include <cstdint>

#include "values/string.h"

namespace pexo {

class PexoVM;
class Output;
class Variable;

// Answers of PexoApplication::StartTask.
enum TaskStartResult : int {
  kTaskStarted = 0,      // the block runs in the background; the caller jumps over it
  kTaskRunHere = 1,      // the caller runs the block itself
  kTaskStartFailed = 2,  // "Unable to start asynchronous task"
  kTaskUnsupported = 3,  // this host cannot run tasks
  kTaskLimitReached = 4,
  kTaskInTask = 5,       // the caller is itself a task
};

// Event bits of the debug trace mask.
enum TraceBits : uint32_t {
  kTraceFunctionCall = 0x00000010,
  kTraceFunctionParameter = 0x00000020,
  kTraceFunctionReturnValue = 0x00000040,
  kTraceFunctionReturn = 0x00000080,
  kTraceExternalCall = 0x00000100,
  kTraceExternalParameter = 0x00000200,
  kTraceExternalReturnValue = 0x00000400,
  kTraceExternalReturn = 0x00000800,
  kTraceDoEnter = 0x00001000,
  kTraceDoExit = 0x00002000,
  kTraceHttpCall = 0x00100000,
  kTraceSmtp = 0x00200000,
  kTraceProgramCache = 0x01000000,  // whether the program came from the cache
  kTraceRequestStart = 0x02000000,
  kTraceRequestEnd = 0x04000000,
  kTraceTimeout = 0x08000000,
  kTraceRuntimeError = 0x10000000,
  kTraceFatalError = 0x20000000,
  kTraceLine = 0x40000000,
};

// The name of an event bit in the debug log ("Function Call" ...), or null.
const char* TraceEventName(uint32_t bit);

// One trace event. Texts are borrowed for the duration of the call; unused
// ones are empty.
struct TraceEvent {
  uint32_t kind = 0;        // one bit of TraceBits
  const char* program = "";  // the script's path
  const char* source_file = "";
  int32_t line = 0;
  const char* name = "";    // function, tag or file name
  const char* detail = "";  // parameter name or message
  const char* value = "";   // parameter or return value
  // When set, the value as a variable: the log writes it in its dump form
  // (structures and arrays in full) instead of `value`.
  Variable* variable = nullptr;
};

class PexoApplication {
 public:
  virtual ~PexoApplication() = default;

  // Current output.
  virtual void Write(const char* bytes, int32_t length) = 0;
  // Text subject to the whitespace mode of the output.
  virtual void Emit(const char* bytes, int32_t length) = 0;
  virtual void SetWhitespaceMode(int32_t mode) = 0;
  // SetWhitespaceMode unless the current output is known to have that mode
  // already (every call and return sets the mode; most change nothing).
  void ApplyWhitespaceMode(int32_t mode) {
    if (!whitespace_mode_cell_ || *whitespace_mode_cell_ != mode) SetWhitespaceMode(mode);
  }
  virtual void SetHeader(const char* name, const char* value) = 0;

  // A visible message, entity-encoded and written at once.
  virtual void WriteMessage(const char* text, int32_t length) = 0;
  // Error reports: each may log the message and write it to the page.
  virtual void ReportFatalError(const String& message) = 0;
  virtual void ReportRuntimeError(int32_t tag, const String& message, bool display) = 0;
  virtual void ReportTimeout(const char* message) = 0;

  // Configured debug-log level: the machine's trace mask.
  virtual uint32_t DebugLogLevel() = 0;
  // The log filter on source file and line.
  virtual bool LogFilterAccepts(const char* source_file, int32_t line) = 0;
  virtual void LogEvent(const TraceEvent& event) = 0;

  // The traditional Unix password hash of `text` with a two-character salt;
  // false when the host cannot compute it.
  virtual bool PasswordHash(const char* text, int32_t length, const char salt[2],
                            String* result) = 0;

  // Settings extensions change through the program handle. A host that
  // does not support one keeps the default: 0 (failure) or null.
  virtual int FlushOutput() { return 0; }
  virtual int SetLanguage(const char* /*name*/, int32_t /*length*/, bool /*default_language*/) {
    return 0;
  }
  virtual int SetDefaultDatabase(const char* /*name*/, int32_t /*length*/) { return 0; }
  virtual int SetProcessName(const char* /*name*/, int32_t /*length*/) { return 0; }
  virtual int ResetGlobalTimeout() { return 0; }
  virtual void* SSLFunction(const char* /*name*/) { return nullptr; }
  // Starts a background task on a copy of `machine`, positioned at the
  // first instruction of the block (the program counter after the start
  // instruction); `isolation` is a set of kIsolate* bits. A TaskStartResult.
  virtual int StartTask(PexoVM* /*machine*/, int32_t /*isolation*/) { return kTaskUnsupported; }
  // The output script text goes to now; null when the host cannot divert
  // its output (captures and mail bodies then fail with a message).
  virtual Output* CurrentOutput() { return nullptr; }
  // Installs `output` (not owned; alive while current) as the current output
  // and returns the one it replaces, null when the host cannot divert its
  // output; null `output` puts the request's own output back. Diverting tags
  // give the previous one back when they end, so diversions nest.
  virtual Output* SetOutput(Output* /*output*/) { return nullptr; }
  // The request's global deadline on the monotonic clock in milliseconds
  // (0: none). No wait on the network may outlive it.
  virtual int64_t GlobalDeadline() { return 0; }

 protected:
  // Where the current output keeps its whitespace mode, for a host whose
  // SetWhitespaceMode does nothing but set it there; kept pointing at the
  // current output's. Null: unknown, every mode goes to SetWhitespaceMode.
  const int* whitespace_mode_cell_ = nullptr;
};

// The password hash through the system's crypt library (DES-based form).
bool SystemPasswordHash(const char* text, int32_t length, const char salt[2], String* result);

}  // namespace pexo

#endif  // PEXO_VM_MACHINE_HOST_H_
