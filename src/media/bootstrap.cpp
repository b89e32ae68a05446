#include "backend/backend.h"

#include <stdexcept>

void Backend::bootstrap(const Json&) {
  throw std::runtime_error("bootstrap ist noch nicht verfügbar");
}
