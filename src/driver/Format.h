// printf-style formatting into a std::string, for the fixed formats of the utility's texts.
#pragma once

#include <string>

namespace wavory {

std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace wavory
