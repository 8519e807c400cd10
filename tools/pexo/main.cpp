// pexo: runs compiled Pexo scripts from the command line (`pexo run`) or
// serves a site of them over HTTP (`pexo serve`).
#include <cstdio>
#include <cstring>

#include "host/command_line.h"
#ifdef PEXO_HAVE_CIVETWEB
#include "host/civetweb/standalone_server.h"
#endif

int main(int argc, char** argv) {
#ifdef PEXO_HAVE_CIVETWEB
  if (argc >= 2 && std::strcmp(argv[1], "serve") == 0)
    return pexo::ServeCommand(argc - 2, argv + 2);
#endif
  return pexo::PexoCommand(argc, argv, stdout, stderr);
}
