// printf-style formatting into a std::string of any length.
#ifndef REDORDIST_NUMERIC_FORMAT_H
#define REDORDIST_NUMERIC_FORMAT_H

#include <string>

std::string format(char const* fmt, ...) __attribute__((format(printf, 1, 2)));

#endif
