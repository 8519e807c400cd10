// pexo: runs compiled Pexo scripts from the command line.
#include <cstdio>

#include "host/command_line.h"

int main(int argc, char** argv) { return pexo::PexoCommand(argc, argv, stdout, stderr); }
