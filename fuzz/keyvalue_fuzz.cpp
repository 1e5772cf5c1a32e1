// The update description reader over any bytes: parsed from memory and loaded through
// XFile from a file of the same bytes, then looked up by a key taken from the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "ShimControl.h"
#include "update/XKeyValueFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // First byte: key length; then the key; the rest is the file.
    size_t keyLength = size ? data[0] % 16 : 0;
    if (size < 1 + keyLength)
        return 0;
    char key[16] = {};
    memcpy(key, data + 1, keyLength);
    const char* text = reinterpret_cast<const char*>(data + 1 + keyLength);
    size_t length = size - 1 - keyLength;

    XKeyValueFile parsed;
    CHECK(parsed.Parse(text, length));
    size_t equals = 0;
    for (size_t i = 0; i < length; ++i)
        equals += text[i] == '=';
    CHECK(static_cast<size_t>(parsed.GetPairCount()) <= equals);

    ShimAddFile("upgrade.txt", text, length);
    {
        XKeyValueFile loaded("upgrade.txt");
        CHECK(loaded.GetPairCount() == parsed.GetPairCount());
        for (int occurrence = 0; occurrence < 4; ++occurrence) {
            char* a = nullptr;
            char* b = nullptr;
            bool foundA = parsed.GetValue(key, a, occurrence);
            bool foundB = loaded.GetValue(key, b, occurrence);
            CHECK(foundA == foundB);
            if (foundA) {
                // A value lies within one line of the file and holds no line end.
                CHECK(strlen(a) <= length && !memchr(a, '\n', strlen(a)));
                CHECK(strcmp(a, b) == 0);
            } else {
                CHECK(!a && !b);
            }
            free(a);
            free(b);
        }
    }
    ShimClearFiles();
    CHECK(ShimOpenHandleCount() == 0);
    return 0;
}
