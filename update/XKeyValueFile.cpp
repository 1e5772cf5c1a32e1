#include "update/XKeyValueFile.h"

#include <cstdlib>
#include <cstring>

#include "support/XFile.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The first line end at or after pos, or length when there is none.
size_t FindLineEnd(const char* text, size_t length, size_t pos)
{
    const void* lf = pos < length ? memchr(text + pos, '\n', length - pos) : nullptr;
    return lf ? static_cast<const char*>(lf) - text : length;
}

}  // namespace

XKeyValueFile::XKeyValueFile(const char* path)
{
    if (!path)
        return;
    XFile file;
    if (file.Load(path) && file.GetSize() > 0)
        Parse(reinterpret_cast<const char*>(file.GetData()), file.GetSize());
}

XKeyValueFile::~XKeyValueFile()
{
    Clear();
}

void XKeyValueFile::Clear()
{
    free(m_text);
    free(m_pairs);
    m_text = nullptr;
    m_length = 0;
    m_pairs = nullptr;
    m_pairCount = 0;
    m_pairCapacity = 0;
}

bool XKeyValueFile::AddPair(const Pair& pair)
{
    if (m_pairCount == m_pairCapacity) {
        int capacity = m_pairCapacity ? m_pairCapacity * 2 : 8;
        Pair* pairs = static_cast<Pair*>(realloc(m_pairs, capacity * sizeof(Pair)));
        if (!pairs)
            return false;
        m_pairs = pairs;
        m_pairCapacity = capacity;
    }
    m_pairs[m_pairCount++] = pair;
    return true;
}

bool XKeyValueFile::Parse(const char* text, size_t length)
{
    Clear();
    if (!text || length == 0)
        return true;
    m_text = static_cast<char*>(malloc(length));
    if (!m_text)
        return false;
    memcpy(m_text, text, length);
    m_length = length;
    const char* t = m_text;

    bool expectKey = true;
    Pair pair = {};
    size_t pos = 0;
    while (pos < length) {
        // Between tokens: blanks and line ends, and comments up to their line end.
        char c = t[pos];
        if (IsBlank(c) || c == '\n') {
            ++pos;
            continue;
        }
        if (c == ';') {
            pos = FindLineEnd(t, length, pos);
            if (pos == length)
                break;  // a comment without a line end ends the file
            ++pos;
            continue;
        }

        const size_t start = pos;
        if (expectKey) {
            // Up to the first '='; blanks, line ends and comments inside do not end the key.
            size_t last = start;  // the last token byte met
            bool found = false;
            while (pos < length) {
                c = t[pos];
                if (c == '=') {
                    found = true;
                    break;
                }
                if (c == ';') {
                    pos = FindLineEnd(t, length, pos);
                    if (pos == length)
                        break;
                } else if (!IsBlank(c) && c != '\n') {
                    last = pos;
                }
                ++pos;
            }
            if (!found)
                break;  // the key is dropped
            pair.keyStart = start;
            pair.keyLength = pos == start ? 1 : last - start + 1;
            ++pos;
            expectKey = false;
        } else {
            // Up to the line end; '=' belongs to the value, ';' starts a comment.
            size_t last = start;
            while (pos < length && t[pos] != '\n') {
                c = t[pos];
                if (c == ';') {
                    pos = FindLineEnd(t, length, pos);
                    break;
                }
                if (!IsBlank(c))
                    last = pos;
                ++pos;
            }
            pair.valueStart = start;
            pair.valueLength = last - start + 1;
            if (pos < length)
                ++pos;  // past the line end
            if (!AddPair(pair))
                return false;
            expectKey = true;
        }
    }
    return true;
}

bool XKeyValueFile::GetValue(const char* key, char*& value, int occurrence) const
{
    if (!key)
        return false;
    size_t keyLength = strlen(key);
    int seen = 0;
    for (int i = 0; i < m_pairCount; ++i) {
        const Pair& pair = m_pairs[i];
        if (pair.keyLength != keyLength || memcmp(m_text + pair.keyStart, key, keyLength) != 0)
            continue;
        if (seen++ != occurrence)
            continue;
        char* copy = static_cast<char*>(malloc(pair.valueLength + 1));
        if (!copy)
            return false;
        memcpy(copy, m_text + pair.valueStart, pair.valueLength);
        copy[pair.valueLength] = '\0';
        free(value);
        value = copy;
        return true;
    }
    return false;
}
