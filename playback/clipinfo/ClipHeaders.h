// What a clip's container says about its picture, read from the headers alone: how to
// turn it upright, the shape of its pixels, its colours and whether it is interlaced.
// For the engines where the platform's reader states none of it. Reads a bounded part of
// the file (a few hundred KB at most, however the file lies), never decodes, and where
// anything does not add up gives "nothing stated" for what it could not read.
// Knows MP4/MOV, Matroska/WebM and AVI. No Windows types: the fuzzer builds it natively.
#pragma once

#include <cstddef>
#include <cstdint>

// Colour codes are those of MP4's colour box, Matroska's Colour element and the codecs'
// own headers (ITU-T H.273); 0 where the file states none or says "unspecified".
enum ClipMatrix : uint8_t { kMatrixUnstated = 0, kMatrixBt709 = 1, kMatrixBt601 = 6, kMatrixBt2020 = 9 };
enum ClipPrimaries : uint8_t { kPrimariesUnstated = 0, kPrimariesBt709 = 1, kPrimariesBt601 = 6, kPrimariesBt2020 = 9 };
enum ClipTransfer : uint8_t { kTransferUnstated = 0, kTransferSdr = 1, kTransferPq = 16, kTransferHlg = 18 };
enum ClipRange : uint8_t { kRangeUnstated = 0, kRangeLimited = 1, kRangeFull = 2 };
enum ClipInterlace : uint8_t {
    kInterlaceUnstated = 0,
    kProgressive,
    kTopFieldFirst,     // in the order shown
    kBottomFieldFirst,
    kInterlacedOrderUnstated,
};

struct ClipHeaders {
    bool rotationStated = false;
    int rotation = 0;  // degrees clockwise that turn the stored picture upright: 0, 90, 180, 270
    uint32_t parX = 0, parY = 0;  // pixel aspect ratio, reduced; 0:0 unstated
    ClipMatrix matrix = kMatrixUnstated;
    ClipPrimaries primaries = kPrimariesUnstated;
    ClipTransfer transfer = kTransferUnstated;
    ClipRange range = kRangeUnstated;
    ClipInterlace interlace = kInterlaceUnstated;
};

// Where the headers are read from: a file, or bytes in memory.
class ClipByteSource {
public:
    // Reads up to size bytes at offset; the count read (short at the end of the source).
    virtual size_t Read(uint64_t offset, void* out, size_t size) = 0;
    virtual uint64_t Size() const = 0;

protected:
    ~ClipByteSource() = default;
};

class ClipMemorySource : public ClipByteSource {
public:
    ClipMemorySource(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(size) {}
    size_t Read(uint64_t offset, void* out, size_t size) override;
    uint64_t Size() const override { return m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// The most a reading takes from its source, in bytes, and the most boxes or elements it
// looks at: a file of ten thousand tiny boxes is no clip.
const size_t kClipHeaderByteBudget = 512 * 1024;
const unsigned kClipHeaderItemBudget = 4096;

// False (and *pOut all unstated) where the source is no container it knows; true where it
// is one, with whatever the video track's headers state.
bool ReadClipHeaders(ClipByteSource& source, ClipHeaders* pOut);

// The same from a file (ANSI path); false where it cannot be opened.
bool ReadClipHeadersFromFile(const char* path, ClipHeaders* pOut);
