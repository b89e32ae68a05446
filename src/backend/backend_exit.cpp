#include "backend/backend_exit.h"

#include <cstdlib>

#include "media/process.h"
#include "settings/pending_files.h"

void exit_backend(int status) {
  end_all_children();
  remove_pending_files();
  std::_Exit(status);
}
