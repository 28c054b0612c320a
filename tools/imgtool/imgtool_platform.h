// What imgtool needs from the operating system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace imgtool {

// The command-line arguments after the program name, as file names (wide
// on Windows, so any name the shell passes arrives intact).
std::vector<std::filesystem::path> Arguments(int argc, char** argv);
// Peak memory of the process so far, in bytes (0 when unknown).
uint64_t PeakMemory();

}  // namespace imgtool
