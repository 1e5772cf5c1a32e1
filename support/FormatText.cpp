#include "support/FormatText.h"

#include <cstdio>

int FormatTextV(char* buffer, size_t size, const char* format, va_list args)
{
    if (!buffer || size == 0)
        return -1;
    // _vsnprintf leaves the buffer unterminated when the text fills it exactly, and
    // answers -1 when it had to cut: the last byte is kept for the terminator.
    int n = _vsnprintf(buffer, size - 1, format, args);
    buffer[size - 1] = '\0';
    if (n < 0 || static_cast<size_t>(n) >= size)
        return -1;
    buffer[n] = '\0';
    return n;
}

int FormatText(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = FormatTextV(buffer, size, format, args);
    va_end(args);
    return n;
}
