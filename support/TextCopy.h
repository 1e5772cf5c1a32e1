// The one bounded copy of narrow text: double-byte characters of the ANSI code page stay
// whole. Header-only, so the framework's file dialog can use it without linking support.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>

// Copies src (up to its terminator or srcLength bytes) into dst of cbDst bytes, as far as
// it fits with the terminator. The copy ends before a double-byte character that does not
// fit whole, and before a lead byte whose second byte is missing from src. Always
// terminates dst when cbDst > 0; a null src copies nothing. Returns the bytes copied.
inline size_t CopyTextBounded(char* dst, size_t cbDst, const char* src, size_t srcLength = static_cast<size_t>(-1))
{
    if (!dst || cbDst == 0)
        return 0;
    size_t n = 0;
    if (src) {
        while (n < srcLength && src[n]) {
            size_t step = ::IsDBCSLeadByte(static_cast<BYTE>(src[n])) ? 2 : 1;
            if (step == 2 && (n + 1 >= srcLength || !src[n + 1]))
                break;  // a lead byte left alone, by a cut or by the source
            if (n + step + 1 > cbDst)
                break;  // the whole character does not fit
            n += step;
        }
        memcpy(dst, src, n);
    }
    dst[n] = '\0';
    return n;
}
