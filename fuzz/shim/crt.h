// The few msvcrt.dll functions the program calls that glibc lacks, with their Windows
// behaviour; forced into every file of a fuzz build (-include).
#pragma once

#include <cstdarg>
#include <cstddef>

// msvcrt's _vsnprintf: -1 when the text does not fit, and then no terminator.
int _vsnprintf(char* buffer, size_t count, const char* format, va_list args);
