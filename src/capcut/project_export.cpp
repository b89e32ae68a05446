#include "capcut/project_export.h"

void run_master_capcut_project(const std::vector<std::string>&, const Json&, const MessageFn&,
                               const MessageFn&, const MessageFn& err) {
  err("CapCut-Export ist noch nicht verfügbar");
}
