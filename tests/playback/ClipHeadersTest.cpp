// The container header reader on clips made by ffmpeg: what each states, and that a clip
// cut short or lying about a length states only what it can back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "playback/clipinfo/ClipHeaders.h"
#include "common/TestSupport.h"

namespace {

std::string ClipPath(const char* name)
{
    return ExeDir() + "clips\\" + name;
}

ClipHeaders Read(const std::string& bytes, bool* pKnown = nullptr)
{
    ClipMemorySource source(bytes.data(), bytes.size());
    ClipHeaders h;
    const bool known = ReadClipHeaders(source, &h);
    if (pKnown)
        *pKnown = known;
    return h;
}

// Each of a's statements is b's or unstated.
void ExpectNoMoreThan(const ClipHeaders& a, const ClipHeaders& b)
{
    if (a.rotationStated) {
        EXPECT_EQ(b.rotation, a.rotation);
    }
    if (a.parX) {
        EXPECT_TRUE(a.parX == b.parX && a.parY == b.parY);
    }
    EXPECT_TRUE(!a.matrix || a.matrix == b.matrix);
    EXPECT_TRUE(!a.primaries || a.primaries == b.primaries);
    EXPECT_TRUE(!a.transfer || a.transfer == b.transfer);
    EXPECT_TRUE(!a.range || a.range == b.range);
    EXPECT_TRUE(!a.interlace || a.interlace == b.interlace);
}

bool NothingStated(const ClipHeaders& h)
{
    return !h.rotationStated && !h.parX && !h.matrix && !h.primaries && !h.transfer && !h.range && !h.interlace;
}

}  // namespace

TEST(ClipHeaders, EachContainerStatesWhatItsHeadersSay)
{
    const struct {
        const char* clip;
        int rotation;  // -1: unstated
        uint32_t parX, parY;
        ClipMatrix matrix;
        ClipPrimaries primaries;
        ClipTransfer transfer;
        ClipRange range;
        ClipInterlace interlace;
        const char* hide;  // an MP4 box renamed away: the row without it states less
    } rows[] = {
        { "quarters-90.mp4", 90, 1, 1, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kInterlaceUnstated, "tkhd" },
        { "quarters-180.mp4", 180, 1, 1, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kInterlaceUnstated, nullptr },
        { "quarters-270.mp4", 270, 1, 1, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kInterlaceUnstated, nullptr },
        { "quarters-90.mkv", 90, 0, 0, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kProgressive, nullptr },
        { "interlaced.mp4", 0, 1, 1, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kInterlaceUnstated, nullptr },
        { "quarters-270.mov", 270, 1, 1, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kInterlaceUnstated, nullptr },
        { "pal169.mp4", 0, 64, 45, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kInterlaceUnstated, "pasp" },
        { "pal169.avi", -1, 64, 45, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kProgressive, nullptr },
        { "hdv.avi", -1, 4, 3, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated, kProgressive,
          nullptr },
        { "colors.avi", -1, 1, 1, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kProgressive, nullptr },
        { "colors.mp4", 0, 1, 1, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeUnstated,
          kInterlaceUnstated, nullptr },
        { "fullrange.mp4", 0, 1, 1, kMatrixBt709, kPrimariesBt709, kTransferSdr, kRangeFull, kInterlaceUnstated,
          "colr" },
        { "hlg.mp4", 0, 1, 1, kMatrixBt2020, kPrimariesBt2020, kTransferHlg, kRangeLimited, kProgressive, "colr" },
        { "pq.mkv", -1, 0, 0, kMatrixBt2020, kPrimariesBt2020, kTransferPq, kRangeLimited, kProgressive, nullptr },
        { "interlaced.mkv", -1, 0, 0, kMatrixUnstated, kPrimariesUnstated, kTransferUnstated, kRangeLimited,
          kBottomFieldFirst, nullptr },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.clip);
        const std::string bytes = ReadAll(ClipPath(row.clip));
        ASSERT_FALSE(bytes.empty());
        bool known = false;
        const ClipHeaders h = Read(bytes, &known);
        EXPECT_TRUE(known);
        EXPECT_EQ(row.rotation >= 0, h.rotationStated);
        if (row.rotation >= 0) {
            EXPECT_EQ(row.rotation, h.rotation);
        }
        EXPECT_EQ(row.parX, h.parX);
        EXPECT_EQ(row.parY, h.parY);
        EXPECT_EQ(row.matrix, h.matrix);
        EXPECT_EQ(row.primaries, h.primaries);
        EXPECT_EQ(row.transfer, h.transfer);
        EXPECT_EQ(row.range, h.range);
        EXPECT_EQ(row.interlace, h.interlace);

        // From the file on disk, as the engines read it: the same.
        ClipHeaders fromFile;
        EXPECT_TRUE(ReadClipHeadersFromFile(ClipPath(row.clip).c_str(), &fromFile));
        EXPECT_EQ(0, std::memcmp(&h, &fromFile, sizeof(h)));

        // Without the box, the clip states none of what it held.
        if (row.hide) {
            std::string hidden = bytes;
            for (size_t at = hidden.find(row.hide); at != std::string::npos; at = hidden.find(row.hide, at + 4))
                hidden[at] = 'X';
            const ClipHeaders without = Read(hidden);
            ExpectNoMoreThan(without, h);
            if (!std::strcmp(row.hide, "tkhd")) {
                EXPECT_FALSE(without.rotationStated);
            }
            if (!std::strcmp(row.hide, "pasp")) {
                EXPECT_EQ(0u, without.parX);
            }
            if (!std::strcmp(row.hide, "colr")) {
                EXPECT_TRUE(!without.matrix && !without.transfer && !without.range);
            }
        }

        // Cut anywhere: never more than the whole file says (a cut before the headers'
        // end states less or nothing).
        for (size_t cut = 0; cut < bytes.size(); cut += 1 + bytes.size() / 97) {
            SCOPED_TRACE(cut);
            ExpectNoMoreThan(Read(bytes.substr(0, cut)), h);
        }
    }
}

TEST(ClipHeaders, ALengthThatOverrunsItsParentEndsTheParent)
{
    // The video track's box (MP4), the stream list (AVI) and the tracks element (MKV), each
    // made to claim more than what holds it: nothing of the track is taken.
    const struct {
        const char* clip;
        const char* marker;  // bytes found just after the length to change
        int lengthBytes;     // the length field before them (MKV: after them)
    } rows[] = {
        { "quarters-90.mp4", "trak", 4 },
        { "pal169.avi", "strl", 8 },
        { "pq.mkv", "\x16\x54\xAE\x6B", 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.clip);
        std::string bytes = ReadAll(ClipPath(row.clip));
        const size_t at = bytes.find(row.marker);
        ASSERT_NE(std::string::npos, at);
        ASSERT_FALSE(NothingStated(Read(bytes)));
        if (row.lengthBytes == 4) {
            bytes.replace(at - 4, 4, "\x7F\xFF\xFF\xF0", 4);  // big-endian box size
        } else if (row.lengthBytes == 8) {
            bytes.replace(at - 8, 4, "\xF0\xFF\xFF\x7F", 4);  // little-endian LIST size
        } else {
            // An 8-byte EBML size just short of "unknown": far past the file.
            int sizeLength = 1;
            while (sizeLength < 8 && !(static_cast<unsigned char>(bytes[at + 4]) & (0x80 >> (sizeLength - 1))))
                ++sizeLength;
            bytes.replace(at + 4, sizeLength, "\x01\x0F\xFF\xFF\xFF\xFF\xFF\xFE", 8);
        }
        const ClipHeaders h = Read(bytes);
        EXPECT_FALSE(h.rotationStated && h.rotation != 0);
        EXPECT_EQ(0u, h.parX);
        EXPECT_EQ(kMatrixUnstated, h.matrix);
        EXPECT_EQ(kTransferUnstated, h.transfer);
    }
    // Not a container at all: nothing, and said so.
    bool known = true;
    EXPECT_TRUE(NothingStated(Read("this is not a video", &known)));
    EXPECT_FALSE(known);
    EXPECT_TRUE(NothingStated(Read(std::string(), &known)));
    ClipHeaders none;
    EXPECT_FALSE(ReadClipHeadersFromFile(ClipPath("no such clip.mp4").c_str(), &none));
}
