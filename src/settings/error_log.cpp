#include "settings/error_log.h"

#include <string>
#include <typeinfo>

#ifdef __GNUG__
#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#endif

#include "settings/atomic_file.h"
#include "settings/local_time.h"
#include "settings/utf8.h"

namespace {

std::string type_name_of(const std::exception& failure) {
  const char* name = typeid(failure).name();
#ifdef __GNUG__
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  if (status == 0 && demangled)
    return demangled.get();
#endif
  return name;
}

}  // namespace

void log_exception(const std::exception& failure, const FixedPaths& paths) {
  try {
    std::error_code error;
    if (!std::filesystem::is_directory(paths.desktop, error))
      return;
    // A message may quote bytes from outside (a command line, a file name) that are no UTF-8;
    // they are replaced as in the error event.
    const std::string report = "Tavelmor Studio – Fehlerbericht vom " +
                               local_time_text("%Y-%m-%d %H:%M:%S") + "\n" + type_name_of(failure) +
                               ": " + sanitize_utf8(failure.what()) + "\n";
    write_file_atomically(paths.error_log, report);
  } catch (...) {
    // The report is lost; the caller reports the failure its own way.
  }
}
