// Assembler: turns the text form of a Pexo program (see docs/pxasm.md) into
// a ProgramWriter description, ready to be written as a compiled file.
//
// Errors are collected, one per line, as "<file>:<line>: <message>"; any
// error makes the whole assembly fail. Names of variables, functions,
// segments and labels are case-insensitive; mnemonics too.
#ifndef PEXO_PROGRAM_ASSEMBLER_H_
#define PEXO_PROGRAM_ASSEMBLER_H_

#include <cstdint>

#include "program/program_writer.h"
#include "values/string.h"

namespace pexo {

// Assembles `text` (`length` -1: up to a zero byte) into `writer`, which
// should be fresh. `file_name` only labels the messages. Returns false with
// the messages, separated by newlines, in `errors`.
bool Assemble(const char* text, int32_t length, const char* file_name, ProgramWriter* writer, String* errors);

// Reads and assembles a source file.
bool AssembleFile(const char* path, ProgramWriter* writer, String* errors);

// Assembles a source file and writes the compiled file to `output`.
bool AssembleToFile(const char* source_path, const char* output, String* errors);

}  // namespace pexo

#endif  // PEXO_PROGRAM_ASSEMBLER_H_
