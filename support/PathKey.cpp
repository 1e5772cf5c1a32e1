#include "support/PathKey.h"

#include <cstring>

namespace {

uint32_t RotateLeft1(uint32_t x)
{
    return (x << 1) | (x >> 31);
}

// End-around carry of the two halves, plus one when the high half is not zero.
uint32_t Fold1(uint64_t p)
{
    uint32_t hi = static_cast<uint32_t>(p >> 32);
    uint64_t s = (p & 0xFFFFFFFFu) + hi + (hi ? 1 : 0);
    return static_cast<uint32_t>(s) + static_cast<uint32_t>(s >> 32);
}

// The high half doubled (its top bit wrapped in), added to the low half; an overflow adds 2.
uint32_t Fold2(uint64_t p)
{
    uint32_t hi = static_cast<uint32_t>(p >> 32);
    uint64_t s = (p & 0xFFFFFFFFu) + static_cast<uint32_t>(hi << 1) + (hi >> 31);
    return s >> 32 ? static_cast<uint32_t>(s) + 2 : static_cast<uint32_t>(s);
}

class Hasher {
public:
    void Add(uint32_t w)
    {
        m_rot = RotateLeft1(m_rot);
        uint32_t k = 0x267B0B11u ^ m_rot;
        m_h1 ^= w;
        m_h2 ^= w;
        uint32_t m1 = ((k + m_h2) | 0x02040801u) & 0xBFEF7FDFu;
        uint32_t m2 = ((k + m_h1) | 0x00804021u) & 0x7DFEFBFFu;
        m_h1 = Fold1(static_cast<uint64_t>(m_h1) * m1);
        m_h2 = Fold2(static_cast<uint64_t>(m_h2) * m2);
    }
    uint64_t Finish()
    {
        Add(0x9BE74448u);
        Add(0x66F42C48u);
        return (static_cast<uint64_t>(m_h1) << 32) | (m_h2 ^ m_h1);
    }

private:
    uint32_t m_rot = 0xF4FA8928u;
    uint32_t m_h1 = 0x37A8470Eu;
    uint32_t m_h2 = 0x7758B42Bu;
};

// Feeds bytes as little-endian words, a last partial word padded with zero bytes; with
// foldPath the bytes are those of the path key text.
uint64_t HashBytes(const unsigned char* p, bool foldPath)
{
    Hasher hasher;
    uint32_t word = 0;
    int shift = 0;
    for (; *p; ++p) {
        unsigned char c = *p;
        if (foldPath) {
            if (c >= 'A' && c <= 'Z')
                c += 32;
            else if (c == '/')
                c = '\\';
        }
        word |= static_cast<uint32_t>(c) << shift;
        shift += 8;
        if (shift == 32) {
            hasher.Add(word);
            word = 0;
            shift = 0;
        }
    }
    if (shift)
        hasher.Add(word);
    return hasher.Finish();
}

}  // namespace

uint64_t HashString(const char* text)
{
    return HashBytes(reinterpret_cast<const unsigned char*>(text ? text : ""), false);
}

uint32_t MakePathKey(const char* path)
{
    const char* slash = path ? strchr(path, '/') : nullptr;
    if (!slash)
        return 0;
    // Folded while hashing: no key text buffer, so no length limit on the path.
    return static_cast<uint32_t>(HashBytes(reinterpret_cast<const unsigned char*>(slash), true));
}
