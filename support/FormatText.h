// Bounded printf-style formatting through msvcrt.dll's _vsnprintf, which every Windows
// has (the C99 snprintf of the compiler's own runtime would add 23 KB to the program).
#pragma once

#include <cstdarg>
#include <cstddef>

// The text is always terminated. Returns its length, or -1 when it did not fit and was
// cut at the end of the buffer (or size is 0).
int FormatText(char* buffer, size_t size, const char* format, ...);
int FormatTextV(char* buffer, size_t size, const char* format, va_list args);
