// File and directory helpers on ANSI paths.
#pragma once

// 1 when the file can be opened (for no access, sharing read and write), else 0.
int FileExists(const char* path);
// Creates every missing directory of path; with createLast the text after the last
// backslash is a directory too. Non-zero on success, an existing directory included.
int CreateDirectoryPath(const char* path, int createLast);
