#include <iostream>

#include "backend/backend.h"
#include "backend/backend_exit.h"
#include "backend/command_loop.h"
#include "backend/standard_streams.h"
#include "media/process.h"
#include "settings/constants.h"

int main() {
  end_children_with_backend();
  prepare_standard_streams();
  std::ios::sync_with_stdio(false);
  // Reading a command would flush the event stream outside the event writer's lock, while a job
  // thread writes to it: the same line could go out twice. Every event line is flushed as it is
  // written anyway.
  std::cin.tie(nullptr);
  Backend backend(std::cout);
  const CommandTable table = make_command_table(backend);
  backend.send_event("ready", {{"version", VERSION}});
  run_command_loop(std::cin, table, backend);
  // End of input ends the process at once: a running job and its child process go with it. Every
  // event line was flushed as it was written.
  exit_backend(EXIT_INPUT_ENDED);
}
