#include "backend/backend.h"

#include <stdexcept>

void Backend::start_export(const Json&) {
  throw std::runtime_error("start_export ist noch nicht verfügbar");
}
