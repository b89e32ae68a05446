#pragma once

#include <filesystem>

// Where the running program's own file lies: the place of the files shipped beside the backend.

// The program file's path as the system reports it (one implementation per platform). Throws
// std::runtime_error when the system does not tell it.
std::filesystem::path program_file();

// The folder holding the program file, found from its absolute path with symbolic links
// resolved.
std::filesystem::path program_dir();
