// The checked installer is held: between the check and the start no other process can
// write it, and no one can rename or delete it; one that holds it for writing already
// makes the check fail.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

#include "common/TestSupport.h"
#include "common/UpdateSigning.h"
#include "update/InstallerCheck.h"

namespace {

// hold_file.exe opening path for writing in a process of its own: 0 when it could (it
// then holds the file until release is set), 1 when it could not.
class WriterProcess {
public:
    explicit WriterProcess(const std::string& path)
    {
        std::string tag = std::to_string(::GetCurrentProcessId());
        m_ready = ::CreateEventA(nullptr, TRUE, FALSE, ("LumaspireCheckReady" + tag).c_str());
        m_release = ::CreateEventA(nullptr, TRUE, FALSE, ("LumaspireCheckRelease" + tag).c_str());
        m_started = m_process.Start("\"" + path + "\" LumaspireCheckReady" + tag + " LumaspireCheckRelease" + tag,
                                    ExeDir() + "hold_file.exe");
    }
    ~WriterProcess()
    {
        Release();
        ::CloseHandle(m_ready);
        ::CloseHandle(m_release);
    }
    // Waits until the writer holds the file or has given up: true when it holds it.
    bool Holds()
    {
        HANDLE both[] = { m_ready, m_process.Handle() };
        return m_started && ::WaitForMultipleObjects(2, both, FALSE, 15000) == WAIT_OBJECT_0;
    }
    DWORD Release()
    {
        ::SetEvent(m_release);
        return m_started ? m_process.WaitExit(15000) : 1;
    }

private:
    HANDLE m_ready, m_release;
    SaverProcess m_process;
    bool m_started;
};

}  // namespace

TEST(InstallerCheck, HeldFromTheCheckUntilClosedAndRefusedWhileAnotherWrites)
{
    const std::string path = ExeDir() + "held-installer.exe", bytes = "the maker's installer";
    { std::ofstream(path, std::ios::binary) << bytes; }
    const std::string signature = SignUpdate(BuildKeySeed("current"), "1.0.7.0", bytes);
    ASSERT_EQ(128u, signature.size()) << "no throwaway key in the build tree";

    XInstallerCheck check;
    {
        SCOPED_TRACE("the second form: the size is signed too");
        const LONG size = static_cast<LONG>(bytes.size());
        const std::string sized = SignUpdate(BuildKeySeed("current"), "1.0.7.0", bytes, size);
        EXPECT_TRUE(check.Open(path.c_str(), "1.0.7.0", size, sized.c_str()));
        EXPECT_FALSE(check.Open(path.c_str(), "1.0.7.0", size + 1, sized.c_str())) << "another size";
        EXPECT_FALSE(check.Open(path.c_str(), "1.0.7.0", -1, sized.c_str())) << "read as the first form";
        EXPECT_FALSE(check.Open(path.c_str(), "1.0.7.0", size, signature.c_str())) << "the first form's signature";
        char runPath[MAX_PATH] = {};
        EXPECT_FALSE(check.GetRunPath(runPath, sizeof(runPath))) << "nothing is held after a refusal";
    }
    ASSERT_TRUE(check.Open(path.c_str(), "1.0.7.0", -1, signature.c_str()));
    {
        // Started by the held file's own path, which names the same file.
        char runPath[MAX_PATH] = {};
        ASSERT_TRUE(check.GetRunPath(runPath, sizeof(runPath)));
        EXPECT_STRCASEEQ(path.c_str(), runPath);
    }
    {
        SCOPED_TRACE("checked, not yet closed");
        WriterProcess writer(path);
        EXPECT_FALSE(writer.Holds()) << "another process opened the checked file for writing";
        EXPECT_EQ(1u, writer.Release());
        EXPECT_FALSE(::MoveFileA(path.c_str(), (path + ".moved").c_str()));
        EXPECT_FALSE(::DeleteFileA(path.c_str()));
        EXPECT_EQ(bytes, ReadAll(path)) << "reading (as starting it does) must still work";
    }
    check.Close();
    {
        SCOPED_TRACE("closed; then a writer holds it during the next check");
        WriterProcess writer(path);
        ASSERT_TRUE(writer.Holds());
        EXPECT_FALSE(check.Open(path.c_str(), "1.0.7.0", -1, signature.c_str()));
        EXPECT_EQ(0u, writer.Release());
    }
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}
