// pexo-serve: the standalone server until `pexo serve` dispatches to it.
#include "host/civetweb/standalone_server.h"

int main(int argc, char** argv) { return pexo::ServeCommand(argc - 1, argv + 1); }
