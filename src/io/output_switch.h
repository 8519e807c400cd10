// OutputSwitch: a host whose current output a tag may divert. SetOutput
// installs a new current output and returns the previous one; the diverting
// tag gives the previous one back with SetOutput when it ends, so diversions
// nest as a stack. A host that cannot divert its output does not implement
// it (the tags then report that the host cannot capture).
#ifndef PEXO_IO_OUTPUT_SWITCH_H_
#define PEXO_IO_OUTPUT_SWITCH_H_

namespace pexo {

class Output;

class OutputSwitch {
 public:
  virtual ~OutputSwitch() = default;
  virtual Output* CurrentOutput() = 0;
  // Not owned; must stay alive while it is current.
  virtual Output* SetOutput(Output* output) = 0;
};

}  // namespace pexo

#endif  // PEXO_IO_OUTPUT_SWITCH_H_
