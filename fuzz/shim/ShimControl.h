// What a fuzz target sets up for the shim: the files CreateFileA finds, the system the
// host believes it runs on, and a check of every directory creation.
#pragma once

#include <cstddef>
#include <cstdlib>

// Registers a file of these bytes (copied) under exactly this name; replaces one of the
// same name. At most a few files exist at once.
void ShimAddFile(const char* name, const void* data, size_t size);
// Forgets every file; handles still open stay valid until closed.
void ShimClearFiles();
// Open handles not yet closed (a leak shows as a count that grows).
int ShimOpenHandleCount();

// GetVersionExA reports Windows 95/98/Me when true, NT otherwise.
void ShimSetWin9x(bool win9x);

// Called with every path CreateDirectoryA is given; its result is what CreateDirectoryA
// returns, with *error as the last error when it fails.
typedef bool (*ShimCreateDirectoryHook)(const char* path, unsigned long* error);
void ShimSetCreateDirectoryHook(ShimCreateDirectoryHook hook);

// A broken property of the parser under test: libFuzzer keeps the input that did it.
#define CHECK(x)         \
    do {                 \
        if (!(x))        \
            abort();     \
    } while (0)
