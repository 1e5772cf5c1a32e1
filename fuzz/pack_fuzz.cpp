// The file loader's pack lookup: a pack table filled from the input, a pack file of the
// input's bytes in slot 0, and loads of a path from the input, which is not on disk and
// so is looked up by its key.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ShimControl.h"
#include "support/PathKey.h"
#include "support/XFile.h"

namespace {

const char kPackName[] = "<pack>";

uint32_t ReadWord(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Entry count, a mask of the entries that get the path's key, the entries (12 bytes
    // each), a path length, the path, and the pack file's bytes.
    if (size < 3)
        return 0;
    int count = data[0] % 17;
    unsigned mask = data[1];
    size_t pos = 2;
    if (size < pos + 12 * count + 1)
        return 0;
    const uint8_t* raw = data + pos;
    pos += 12 * count;
    size_t pathLength = data[pos++];
    if (size < pos + pathLength)
        return 0;
    char path[256] = {};
    memcpy(path, data + pos, pathLength);
    pos += pathLength;
    // The pack is the only file on disk; a path naming it would load it from there.
    if (strcmp(path, kPackName) == 0)
        return 0;

    // The key ignores case; a path without '/' is a Windows path and has key 0.
    uint32_t key = MakePathKey(path);
    char lowered[256];
    for (size_t i = 0; i < sizeof(path); ++i)
        lowered[i] = LowerAscii(path[i]);
    CHECK(MakePathKey(lowered) == key);
    CHECK(strchr(path, '/') || key == 0);
    HashString(path);

    PackSlot& slot = g_packTable[0];
    slot.Clear();
    slot.entryCount = count;
    slot.entries = static_cast<PackEntry*>(malloc(sizeof(PackEntry) * (count ? count : 1)));
    for (int i = 0; i < count; ++i) {
        PackEntry& e = slot.entries[i];
        e.key = (mask >> (i % 8)) & 1 ? key : ReadWord(raw + 12 * i);
        e.offset = ReadWord(raw + 12 * i + 4);
        // A declared size is kept below 64 KB: a larger one only makes the block bigger
        // (and the fuzzer reports one past its memory limit as a finding of its own).
        e.size = ReadWord(raw + 12 * i + 8) % (1u << 16);
    }
    ShimAddFile(kPackName, data + pos, size - pos);
    slot.handle = CreateFileA(kPackName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);

    // Offset 0 marks a disk file, so an entry there is never served; an offset of 2 GB or
    // more is a negative seek without the high part, which the system refuses.
    const PackEntry* entry = slot.FindEntry(key);
    if (entry && (entry->offset == 0 || entry->offset > 0x7FFFFFFFu))
        entry = nullptr;
    for (int round = 0; round < 2; ++round) {
        XFile file;
        int loaded = file.Load(path);
        CHECK(loaded == (entry != nullptr));
        if (loaded) {
            // The bytes are those of the pack from the entry's offset, as many as there are.
            size_t packSize = size - pos;
            size_t avail = entry->offset < packSize ? packSize - entry->offset : 0;
            size_t expected = entry->size < avail ? entry->size : avail;
            CHECK(file.GetSize() == expected);
            CHECK(memcmp(file.GetData(), data + pos + (expected ? entry->offset : 0), expected) == 0);
        } else {
            CHECK(!file.GetData() && file.GetSize() == 0);
        }
    }
    slot.Clear();
    ShimClearFiles();
    CHECK(ShimOpenHandleCount() == 0);
    return 0;
}
