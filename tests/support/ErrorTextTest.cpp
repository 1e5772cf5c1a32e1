// The error texts, byte for byte in code page 936.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "support/ErrorText.h"

namespace {

// The pieces as GBK bytes, written out so that they do not depend on the compiler's
// own conversion of the program's literals.
const std::string kNoMemory = "\xCE\xDE\xB7\xA8\xB7\xD6\xC5\xC9\xC4\xDA\xB4\xE6";            // 无法分派内存
const std::string kOpen = "\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xCE\xC4\xBC\xFE!";               // 无法打开文件!
const std::string kRead = "\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xCE\xC4\xBC\xFE!";               // 无法读取文件!
const std::string kRestart = "\n\n\xC7\xEB\xD6\xD8\xC6\xF4\xC4\xFA\xB5\xC4\xCF\xB5\xCD\xB3";  // 请重启您的系统
const std::string kReinstall = " \xBB\xF2\xD6\xD8\xD0\xC2\xB0\xB2\xD7\xB0\xC8\xED\xBC\xFE";   // 或重新安装软件
const std::string kClosing = ", \xB2\xA2\xD6\xD8\xCA\xD4!";                                 // 并重试!

}  // namespace

TEST(ErrorText, ComposedTextsByteForByte)
{
    static const std::string path = "C:\\Temp\\kovatemp\\upgrade.txt";
    struct Case {
        const char* name;
        std::function<const char*()> compose;
        std::string want;
    } cases[] = {
        { "no memory, no context", [] { return FormatNoMemoryError(nullptr); }, kNoMemory + kRestart + kClosing },
        { "no memory with context", [] { return FormatNoMemoryError("in XFile::Load(\"%s\")", path.c_str()); },
          kNoMemory + "\n\nin XFile::Load(\"" + path + "\")" + kRestart + kClosing },
        { "open, no context", [] { return FormatOpenFileError(nullptr); }, kOpen + kRestart + kReinstall + kClosing },
        { "open with context",
          [] { return FormatOpenFileError("in XDownload::DownloadFile(\"%s\")", path.c_str()); },
          kOpen + "\n\nin XDownload::DownloadFile(\"" + path + "\")" + kRestart + kReinstall + kClosing },
        { "read with context", [] { return FormatReadFileError("XFile::Load(\"%s\")", path.c_str()); },
          kRead + "\n\nXFile::Load(\"" + path + "\")" + kRestart + kReinstall + kClosing },
        // The separator stays: three blank lines between head and advice.
        { "read, empty context", [] { return FormatReadFileError(""); },
          kRead + "\n\n" + kRestart + kReinstall + kClosing },
        { "values formatted", [] { return FormatOpenFileError("%d-%s", 42, "x"); },
          kOpen + "\n\n42-x" + kRestart + kReinstall + kClosing },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A long text first: the next one must leave nothing of it behind its end.
        FormatReadFileError("%s", std::string(400, 'a').c_str());
        const char* text = c.compose();
        EXPECT_EQ(GetErrorText(), text);
        EXPECT_EQ(c.want, text);
    }
}

TEST(ErrorText, LongContextIsCutAndTheAdviceStays)
{
    const std::string tail = kRestart + kReinstall + kClosing;
    struct Case {
        const char* name;
        std::string context;
    } cases[] = {
        { "ASCII, longer than the context buffer", std::string(2000, 'p') },
        { "ASCII, fits the context buffer only", std::string(500, 'p') },
        // Double-byte characters (中) after one ASCII byte: a cut at an even length
        // would split one.
        { "double-byte", "x" + [] { std::string s; for (int i = 0; i < 600; ++i) s += "\xD6\xD0"; return s; }() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = FormatReadFileError("%s", c.context.c_str());
        EXPECT_LE(text.size(), kErrorTextSize - 1);
        ASSERT_GT(text.size(), kRead.size() + 2 + tail.size());
        EXPECT_EQ(kRead + "\n\n", text.substr(0, kRead.size() + 2));
        EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
        std::string kept = text.substr(kRead.size() + 2, text.size() - tail.size() - kRead.size() - 2);
        EXPECT_EQ(c.context.substr(0, kept.size()), kept);
        // Cut to the room left, less at most the one byte of a split character.
        EXPECT_GE(kept.size() + 1, kErrorTextSize - 1 - kRead.size() - 2 - tail.size());
        if (c.context[1] == '\xD6' && ::GetACP() == 936) {
            EXPECT_EQ(1u, kept.size() % 2) << "a double-byte character was split";
        }
    }
}
