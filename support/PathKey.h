// The string hash by which pack entries are found, and the key of a path.
#pragma once

#include <cstdint>

// 64-bit hash of the bytes of a NUL-terminated string.
uint64_t HashString(const char* text);

// Key of a path in a pack: the low 32 bits of HashString of the text from the first '/'
// on, with 'A'..'Z' lowered and '/' turned into '\\'. A path without '/' (an ordinary
// Windows path) gives 0. Null gives 0.
uint32_t MakePathKey(const char* path);
