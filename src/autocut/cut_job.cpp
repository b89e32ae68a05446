#include "backend/backend.h"

#include <stdexcept>

void Backend::start_cut(const Json&) {
  throw std::runtime_error("start_cut ist noch nicht verfügbar");
}
