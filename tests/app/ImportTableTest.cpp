// lumaspire.scr must load on Windows 95/98/Me: every function it imports has to be one
// that those systems implement. Wine has them all, so only the file itself can tell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/TestSupport.h"

namespace {

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

std::vector<unsigned char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads a PE file's imports as "DLL!Function" (DLL in capitals, "#n" for an ordinal).
// Every offset is checked against the file, so a damaged file fails instead of crashing.
class PeImports {
public:
    explicit PeImports(const std::vector<unsigned char>& file) : m_file(file) {}

    bool Read(std::vector<std::string>* pImports, std::string* pError)
    {
        DWORD peOffset;
        if (!Get(0x3C, &peOffset) || !Has(peOffset, 4 + sizeof(IMAGE_FILE_HEADER)) ||
            std::memcmp(&m_file[peOffset], "PE\0\0", 4) != 0)
            return Fail(pError, "not a PE file");
        IMAGE_FILE_HEADER header;
        std::memcpy(&header, &m_file[peOffset + 4], sizeof(header));
        const DWORD optional = peOffset + 4 + sizeof(IMAGE_FILE_HEADER);
        IMAGE_OPTIONAL_HEADER32 opt = {};
        if (header.SizeOfOptionalHeader < offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) ||
            !Has(optional, header.SizeOfOptionalHeader))
            return Fail(pError, "optional header missing");
        std::memcpy(&opt, &m_file[optional], std::min<size_t>(sizeof(opt), header.SizeOfOptionalHeader));
        if (opt.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
            return Fail(pError, "not a 32-bit program");
        m_optional = opt;

        DWORD sections = optional + header.SizeOfOptionalHeader;
        for (WORD i = 0; i < header.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER s;
            if (!Get(sections + i * sizeof(s), &s))
                return Fail(pError, "section table cut short");
            m_sections.push_back(s);
        }

        // Delay-loaded functions are bound when first called, not at load: still listed.
        const IMAGE_DATA_DIRECTORY& imports = opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        const IMAGE_DATA_DIRECTORY& delayed = opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT];
        if (opt.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT && delayed.VirtualAddress)
            return Fail(pError, "the program has delay-loaded imports; read them too");
        if (opt.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT || !imports.VirtualAddress)
            return true;

        for (DWORD rva = imports.VirtualAddress;; rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            IMAGE_IMPORT_DESCRIPTOR d;
            if (!GetRva(rva, &d))
                return Fail(pError, "import directory cut short");
            if (!d.Name && !d.FirstThunk)
                break;
            std::string dll;
            if (!GetString(d.Name, &dll))
                return Fail(pError, "DLL name outside the file");
            dll = Upper(dll);
            DWORD thunk = d.OriginalFirstThunk ? d.OriginalFirstThunk : d.FirstThunk;
            for (;; thunk += 4) {
                DWORD entry;
                if (!GetRva(thunk, &entry))
                    return Fail(pError, "import lookup table of " + dll + " cut short");
                if (!entry)
                    break;
                std::string name;
                if (entry & IMAGE_ORDINAL_FLAG32)
                    name = "#" + std::to_string(entry & 0xFFFF);
                else if (!GetString(entry + 2, &name))
                    return Fail(pError, "function name of " + dll + " outside the file");
                pImports->push_back(dll + "!" + name);
            }
        }
        return true;
    }

    // Valid after a successful Read.
    const IMAGE_OPTIONAL_HEADER32& Optional() const { return m_optional; }

private:
    static bool Fail(std::string* pError, const std::string& text)
    {
        *pError = text;
        return false;
    }
    bool Has(DWORD offset, size_t size) const
    {
        return offset <= m_file.size() && size <= m_file.size() - offset;
    }
    template <typename T>
    bool Get(DWORD offset, T* pValue) const
    {
        if (!Has(offset, sizeof(T)))
            return false;
        std::memcpy(pValue, &m_file[offset], sizeof(T));
        return true;
    }
    bool ToOffset(DWORD rva, DWORD* pOffset) const
    {
        for (const IMAGE_SECTION_HEADER& s : m_sections) {
            DWORD size = std::max(s.Misc.VirtualSize, s.SizeOfRawData);
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < size) {
                *pOffset = s.PointerToRawData + (rva - s.VirtualAddress);
                return true;
            }
        }
        return false;
    }
    template <typename T>
    bool GetRva(DWORD rva, T* pValue) const
    {
        DWORD offset;
        return ToOffset(rva, &offset) && Get(offset, pValue);
    }
    bool GetString(DWORD rva, std::string* pText) const
    {
        DWORD offset;
        if (!ToOffset(rva, &offset))
            return false;
        pText->clear();
        for (; offset < m_file.size() && pText->size() < 512; ++offset) {
            if (!m_file[offset])
                return true;
            pText->push_back(static_cast<char>(m_file[offset]));
        }
        return false;
    }

    const std::vector<unsigned char>& m_file;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
    IMAGE_OPTIONAL_HEADER32 m_optional = {};
};

bool ReadImports(const std::string& path, std::vector<std::string>* pImports, std::string* pError)
{
    std::vector<unsigned char> file = ReadBytes(path);
    if (file.empty()) {
        *pError = "cannot read " + path;
        return false;
    }
    return PeImports(file).Read(pImports, pError);
}

// "[DLL]" starts a section; each following line names one function first, then says
// where it is documented. '#' starts a comment.
std::set<std::string> ReadAllowList(const std::string& path)
{
    std::set<std::string> allowed;
    std::ifstream in(path);
    std::string line, dll;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word;
        if (!(words >> word))
            continue;
        if (word.front() == '[' && word.back() == ']')
            dll = Upper(word.substr(1, word.size() - 2));
        else if (!dll.empty())
            allowed.insert(dll + "!" + word);
    }
    return allowed;
}

}  // namespace

TEST(ImportTable, ReaderFindsWhatThisTestProgramImports)
{
    // The test program itself calls these; a reader that found nothing would let
    // the real check pass on any file.
    std::vector<std::string> imports;
    std::string error;
    char self[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ASSERT_TRUE(ReadImports(self, &imports, &error)) << error;
    for (const char* expected : { "KERNEL32.DLL!GetModuleFileNameA", "USER32.DLL!FindWindowA" })
        EXPECT_NE(imports.end(), std::find(imports.begin(), imports.end(), expected)) << expected;
}

TEST(ImportTable, SaverImportsOnlyWhatWindows98Provides)
{
    std::set<std::string> allowed = ReadAllowList(ExeDir() + "win98_imports.txt");
    ASSERT_GT(allowed.size(), 100u) << "allow-list missing beside the test program";

    std::vector<std::string> imports;
    std::string error;
    ASSERT_TRUE(ReadImports(SaverPath(), &imports, &error)) << error;
    ASSERT_FALSE(imports.empty());

    std::string missing;
    for (const std::string& import : imports) {
        if (!allowed.count(import))
            missing += "\n  " + import;
    }
    EXPECT_TRUE(missing.empty()) << "imports Windows 98 does not provide:" << missing;
    // Windows turns the display off on its own timer while a saver runs: the saver never
    // asks to keep it on, neither through an import nor a function looked up by name.
    EXPECT_EQ(std::string::npos, ReadAll(SaverPath()).find("SetThreadExecutionState"));
}

TEST(ImportTable, SaverAndInstallerAskForNoNewerWindowsThan95)
{
    for (const std::string& path : { SaverPath(), ExeDir() + "lumaspire-setup.exe" }) {
        SCOPED_TRACE(path);
        // Windows 95/98/Me refuse a program whose header asks for a later subsystem
        // version than 4.0, whatever it imports.
        std::vector<unsigned char> file = ReadBytes(path);
        PeImports pe(file);
        std::vector<std::string> imports;
        std::string error;
        ASSERT_TRUE(pe.Read(&imports, &error)) << error;
        const IMAGE_OPTIONAL_HEADER32& opt = pe.Optional();
        EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, opt.Subsystem);
        EXPECT_LE(opt.MajorSubsystemVersion * 100 + opt.MinorSubsystemVersion, 400)
            << opt.MajorSubsystemVersion << "." << opt.MinorSubsystemVersion;
        EXPECT_LE(opt.MajorOperatingSystemVersion * 100 + opt.MinorOperatingSystemVersion, 400);
        // The installer is the ANSI one: a Unicode installer imports wide-character
        // functions, which 95/98/Me have only as stubs that fail.
        std::string wide;
        for (const std::string& import : imports)
            wide += import.back() == 'W' ? "\n  " + import : "";
        EXPECT_TRUE(wide.empty()) << "wide-character imports:" << wide;
    }
}
