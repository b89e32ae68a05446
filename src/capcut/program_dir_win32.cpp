#include "capcut/program_dir.h"

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

std::filesystem::path program_file() {
  // GetModuleFileNameW cuts the path to the buffer without telling the size it needs: grow it.
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
      throw std::runtime_error("Der Pfad des Programms kann nicht bestimmt werden.");
    if (length < buffer.size())
      return std::filesystem::path(std::wstring(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}
