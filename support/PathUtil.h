// File and directory helpers on ANSI paths.
#pragma once

// 1 when the file can be opened (for no access, sharing read and write), else 0. A file
// another process holds open exclusively still exists; a directory does not. Null gives 0.
int FileExists(const char* path);

// Creates every missing directory of path, level by level at each backslash ('/' does
// not divide levels); with createLast the text after the last backslash is a directory
// too. Non-zero when the last creation succeeded or found the directory there already.
// Null, or a path of MAX_PATH bytes or more, gives 0 and creates nothing.
int CreateDirectoryPath(const char* path, int createLast);
