// pxasm: assembles a Pexo program from its text form into a compiled file.
//
//   pxasm [-o OUTPUT] SOURCE
//
// Without -o the output is SOURCE with its extension replaced by ".pxc".
// Exit status: 0 written, 1 assembly or write errors, 2 usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "program/assembler.h"

namespace {

int Usage() {
  std::fputs("usage: pxasm [-o OUTPUT] SOURCE\n", stderr);
  return 2;
}

std::string DefaultOutput(const std::string& source) {
  size_t slash = source.find_last_of('/');
  size_t dot = source.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return source.substr(0, dot) + ".pxc";
  return source + ".pxc";
}

}  // namespace

int main(int argc, char** argv) {
  const char* output = nullptr;
  const char* source = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0) {
      if (++i >= argc || output) return Usage();
      output = argv[i];
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      Usage();
      return 0;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      return Usage();
    } else {
      if (source) return Usage();
      source = argv[i];
    }
  }
  if (!source) return Usage();
  std::string out = output ? output : DefaultOutput(source);
  pexo::String errors;
  if (!pexo::AssembleToFile(source, out.c_str(), &errors)) {
    std::fprintf(stderr, "%s\n", errors.c_str());
    return 1;
  }
  return 0;
}
