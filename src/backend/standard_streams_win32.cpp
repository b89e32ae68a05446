#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include "backend/standard_streams.h"

void prepare_standard_streams() {
  // Text mode would turn each line feed into CR LF and stop reading at a Ctrl-Z byte.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
}
