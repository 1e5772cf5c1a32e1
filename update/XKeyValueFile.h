// Reader of key=value text files such as the update description "upgrade.txt". Bytes are
// taken as they are: no encoding is interpreted, keys are case-sensitive.
#pragma once

#include <cstddef>

class XKeyValueFile {
public:
    // Loads the file with XFile and parses it; a null path, a file that cannot be loaded
    // or an empty one give a reader with no pairs.
    explicit XKeyValueFile(const char* path = nullptr);
    ~XKeyValueFile();
    XKeyValueFile(const XKeyValueFile&) = delete;
    XKeyValueFile& operator=(const XKeyValueFile&) = delete;

    // Replaces the contents with a copy of these bytes and parses them.
    bool Parse(const char* text, size_t length);

    // The value of the occurrence-th pair (from 0, in file order) whose key has exactly
    // these bytes. On success the string value held is freed and replaced by a new
    // NUL-terminated copy, which the caller frees with free(); on failure value is left
    // as it was.
    bool GetValue(const char* key, char*& value, int occurrence = 0) const;

    int GetPairCount() const { return m_pairCount; }

private:
    struct Pair {
        size_t keyStart, keyLength, valueStart, valueLength;
    };
    void Clear();
    bool AddPair(const Pair& pair);

    char* m_text = nullptr;  // private copy, no terminator
    size_t m_length = 0;
    Pair* m_pairs = nullptr;
    int m_pairCount = 0;
    int m_pairCapacity = 0;
};
