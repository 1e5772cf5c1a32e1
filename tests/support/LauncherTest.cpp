// RunProcess and ShellOpen, with a child that writes down how it was started.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/StandardUser.h"
#include "common/TestSupport.h"
#include "support/Launcher.h"

#include <shellapi.h>

namespace {

const char kDocClass[] = "LumaspireTest.Document";
const char kDocExtension[] = ".lumaspiretest";

class Launcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_echoFile = ExeDir() + "echo_result.txt";
        ::DeleteFileA(m_echoFile.c_str());
        ::SetEnvironmentVariableA("LUMASPIRE_ECHO_FILE", m_echoFile.c_str());
    }
    void TearDown() override
    {
        ::SetEnvironmentVariableA("LUMASPIRE_ECHO_FILE", nullptr);
        ::DeleteFileA(m_echoFile.c_str());
    }

    // What the child wrote: its show command and its command line; empty when it wrote
    // nothing within timeoutMs.
    bool ReadEcho(int* show, std::string* commandLine, DWORD timeoutMs)
    {
        if (!PumpUntil([&] { return ::GetFileAttributesA(m_echoFile.c_str()) != INVALID_FILE_ATTRIBUTES; },
                       timeoutMs))
            return false;
        std::string all = ReadAll(m_echoFile);
        size_t newline = all.find('\n');
        if (newline == std::string::npos)
            return false;
        *show = std::stoi(all.substr(0, newline));
        *commandLine = all.substr(newline + 1);
        return true;
    }

    std::string m_echoFile;
};

// A document type of the test whose open verb runs the echo child.
class ScopedDocumentType {
public:
    ScopedDocumentType()
    {
        std::string command = "\"" + ExeDir() + "echo_child.exe\" \"%1\"";
        Set(kDocExtension, kDocClass);
        Set((std::string(kDocClass) + "\\shell\\open\\command").c_str(), command.c_str());
    }
    ~ScopedDocumentType()
    {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kDocClass);
        ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kDocExtension);
    }

private:
    static void Set(const char* key, const char* value)
    {
        HKEY hKey;
        if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr) ==
            ERROR_SUCCESS) {
            ::RegSetValueExA(hKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>(strlen(value) + 1));
            ::RegCloseKey(hKey);
        }
    }
};


}  // namespace

TEST_F(Launcher, ProgramAskingForAdministratorRightsStartsAfterTheConsentPrompt)
{
    StandardUser user;
    ASSERT_TRUE(user.Active());
    const std::string admin = ExeDir() + "echo_child_admin.exe", plain = ExeDir() + "echo_child.exe";
    int show = 0;
    std::string commandLine;
    // The prompt belongs to the caller's window: without one, Vista and 7 only flash it.
    HWND owner = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(RunProcess(admin.c_str(), "abc", 20000, owner));
    EXPECT_EQ(1, StandardUser::s_prompts);
    EXPECT_EQ(owner, StandardUser::s_owner);
    ::DestroyWindow(owner);
    ASSERT_TRUE(ReadEcho(&show, &commandLine, 5000));
    EXPECT_EQ(SW_SHOWNORMAL, show);
    EXPECT_EQ(" abc", commandLine.substr(commandLine.size() - 4)) << commandLine;

    // A program that asks for nothing more is started directly, without a prompt.
    ::DeleteFileA(m_echoFile.c_str());
    ASSERT_TRUE(RunProcess(plain.c_str(), "abc", 20000));
    EXPECT_EQ(1, StandardUser::s_prompts);
    ASSERT_TRUE(ReadEcho(&show, &commandLine, 5000));

    // No to the prompt starts nothing, and the caller can tell that choice from a failure.
    ::DeleteFileA(m_echoFile.c_str());
    StandardUser::s_consent = false;
    EXPECT_FALSE(RunProcess(admin.c_str(), "abc", 5000));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), ::GetLastError());
    EXPECT_EQ(2, StandardUser::s_prompts);
    PumpFor(500);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(m_echoFile.c_str())) << "something was started";
}

TEST_F(Launcher, RunProcessGivesTheChildOneSpaceThenTheArguments)
{
    const std::string child = ExeDir() + "echo_child.exe";
    const std::string longest(258, 'x');
    struct Case {
        const char* what;
        const char* arguments;
        const char* expected;  // null: only the program's own name
    };
    const Case cases[] = {
        { "abc", "abc", " abc" },
        { "two words", "a \"b c\"", " a \"b c\"" },
        { "empty", "", " " },
        { "258 bytes, the most that fit", longest.c_str(), nullptr },
        { "no arguments", nullptr, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::DeleteFileA(m_echoFile.c_str());
        ASSERT_TRUE(RunProcess(child.c_str(), c.arguments, 20000));
        int show = 0;
        std::string commandLine;
        ASSERT_TRUE(ReadEcho(&show, &commandLine, 5000));  // waited for: the file is there
        if (c.expected)
            EXPECT_EQ(c.expected, commandLine);
        else if (c.arguments)
            EXPECT_EQ(" " + longest, commandLine);
        else
            EXPECT_NE(std::string::npos, commandLine.find("echo_child")) << commandLine;
    }
}

TEST_F(Launcher, RunProcessRefusesWhatItCannotStartAsGiven)
{
    const std::string child = ExeDir() + "echo_child.exe";
    const std::string tooLong(259, 'x');
    EXPECT_FALSE(RunProcess((ExeDir() + "no such program.exe").c_str(), "abc", 0));
    EXPECT_FALSE(RunProcess(child.c_str(), tooLong.c_str(), 5000));  // never cut short
    PumpFor(500);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(m_echoFile.c_str())) << "something was started";
}

TEST_F(Launcher, ShellOpenStartsTheDocumentsProgramShownNormallyWithoutWaiting)
{
    ScopedDocumentType docType;
    const std::string doc = ExeDir() + "shell open test" + kDocExtension;
    {
        std::ofstream(doc) << "document";
    }
    EXPECT_TRUE(ShellOpen(doc.c_str(), nullptr, 60000));
    int show = -2;
    std::string commandLine;
    ASSERT_TRUE(ReadEcho(&show, &commandLine, 20000));
    EXPECT_EQ(SW_SHOWNORMAL, show);
    EXPECT_NE(std::string::npos, commandLine.find("shell open test.lumaspiretest")) << commandLine;

    ::DeleteFileA(doc.c_str());
}
