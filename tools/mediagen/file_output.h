// Writing a generated file in one piece.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes the bytes to the path; false after printing what failed.
bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
