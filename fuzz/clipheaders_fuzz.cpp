// The container header reader over any bytes: as a whole file, or as the start of a file
// said to be far longer (a read past the bytes comes back short, as from a file that
// fails). It never reads more than its budget, and what it states is in range.
#include <cstdint>
#include <cstdlib>

#include "ShimControl.h"
#include "playback/clipinfo/ClipHeaders.h"

namespace {

class CountingSource : public ClipByteSource {
public:
    CountingSource(const uint8_t* data, size_t size, uint64_t claimed)
        : m_memory(data, size), m_claimed(claimed) {}
    size_t Read(uint64_t offset, void* out, size_t size) override
    {
        CHECK(offset <= m_claimed && size <= m_claimed - offset);
        m_read += size;
        ++m_reads;
        return m_memory.Read(offset, out, size);
    }
    uint64_t Size() const override { return m_claimed; }
    uint64_t m_read = 0;
    unsigned m_reads = 0;

private:
    ClipMemorySource m_memory;
    uint64_t m_claimed;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte: whether the file goes on past these bytes, and how far.
    const uint64_t claimed = (data[0] & 1) ? size - 1 + (static_cast<uint64_t>(data[0]) << 28) : size - 1;
    CountingSource source(data + 1, size - 1, claimed);
    ClipHeaders h;
    const bool known = ReadClipHeaders(source, &h);
    CHECK(source.m_read <= kClipHeaderByteBudget);
    CHECK(source.m_reads <= 3 * kClipHeaderItemBudget + 8);
    CHECK(h.rotation == 0 || h.rotation == 90 || h.rotation == 180 || h.rotation == 270);
    CHECK(h.rotationStated || h.rotation == 0);
    CHECK((h.parX == 0) == (h.parY == 0));
    CHECK(h.interlace <= kInterlacedOrderUnstated);
    if (!known)
        CHECK(!h.rotationStated && !h.parX && !h.matrix && !h.primaries && !h.transfer && !h.range && !h.interlace);
    return 0;
}
