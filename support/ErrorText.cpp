#include "support/ErrorText.h"

#include <windows.h>

#include <cstdarg>
#include <cstring>

#include "support/FormatText.h"
#include "support/TextCopy.h"

namespace {

// Written by the download worker and the loading thread alike. Each text is composed in
// a local buffer and copied in with its fixed size, so two writers at once can garble
// the text but never run past the buffer.
char g_errorText[kErrorTextSize];

const char kHeadNoMemory[] = "无法分派内存";
const char kHeadOpen[] = "无法打开文件!";
const char kHeadRead[] = "无法读取文件!";
const char kSeparator[] = "\n\n";
const char kRestart[] = "\n\n请重启您的系统";
const char kReinstall[] = " 或重新安装软件";
const char kClosing[] = ", 并重试!";

// Appends piece at text[length] (length < room) as far as it fits in room bytes with the
// terminator, keeping double-byte characters whole; returns the new length.
size_t Append(char* text, size_t length, size_t room, const char* piece, size_t pieceLength)
{
    return length + CopyTextBounded(text + length, room - length, piece, pieceLength);
}

const char* Compose(const char* head, bool reinstall, const char* format, va_list args)
{
    char text[kErrorTextSize];
    size_t tail = strlen(kRestart) + (reinstall ? strlen(kReinstall) : 0) + strlen(kClosing);
    size_t length = Append(text, 0, sizeof(text), head, strlen(head));
    if (format) {
        char context[kErrorContextSize];
        FormatTextV(context, sizeof(context), format, args);  // a long context is cut
        size_t contextLength = strnlen(context, sizeof(context) - 1);
        length = Append(text, length, sizeof(text), kSeparator, strlen(kSeparator));
        // The context gives way to the advice when both do not fit.
        length = Append(text, length, sizeof(text) - tail, context, contextLength);
    }
    length = Append(text, length, sizeof(text), kRestart, strlen(kRestart));
    if (reinstall)
        length = Append(text, length, sizeof(text), kReinstall, strlen(kReinstall));
    length = Append(text, length, sizeof(text), kClosing, strlen(kClosing));
    memcpy(g_errorText, text, length + 1);
    return g_errorText;
}

}  // namespace

const char* FormatNoMemoryError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const char* text = Compose(kHeadNoMemory, false, format, args);
    va_end(args);
    return text;
}

const char* FormatOpenFileError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const char* text = Compose(kHeadOpen, true, format, args);
    va_end(args);
    return text;
}

const char* FormatReadFileError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const char* text = Compose(kHeadRead, true, format, args);
    va_end(args);
    return text;
}

const char* GetErrorText()
{
    return g_errorText;
}
