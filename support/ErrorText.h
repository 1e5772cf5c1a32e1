// The Chinese texts of the three failures the support code and the download engine
// meet. By design they are composed at the point of failure and never shown: callers
// report the failure through their own result.
#pragma once

// Each builder writes head, "\n\n" and the printf-style context (when format is not
// null), then the advice tail into one process-wide buffer and returns it. A context too
// long for the buffer is cut (never inside a double-byte character); the tail always
// stays. The text stays there until the next builder call.
const char* FormatNoMemoryError(const char* format, ...);
const char* FormatOpenFileError(const char* format, ...);
const char* FormatReadFileError(const char* format, ...);

// The last composed text (empty before the first call).
const char* GetErrorText();

// Sizes of the error text buffer and of the formatted context, terminators included.
const unsigned kErrorTextSize = 528;
const unsigned kErrorContextSize = 520;
