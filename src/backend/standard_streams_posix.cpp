#include <signal.h>

#include "backend/standard_streams.h"

void prepare_standard_streams() {
  signal(SIGPIPE, SIG_IGN);
}
