#include "support/VersionInfo.h"

#include <cstring>
#include <new>

#include "support/FormatText.h"
#include "support/TextCopy.h"

namespace {

struct FileTypeName {
    DWORD type;
    DWORD subtype;  // kAnySubtype matches every subtype
    const char* name;
};

const DWORD kAnySubtype = 0xFFFFFFFFu;

// First match wins; types 6 and above 7 have no row and leave the field as it was.
const FileTypeName kFileTypes[] = {
    { VFT_UNKNOWN, kAnySubtype, "Unknown type" },
    { VFT_APP, kAnySubtype, "Application" },
    { VFT_DLL, kAnySubtype, "Dynamic link library" },
    { VFT_DRV, VFT2_DRV_PRINTER, "Printer driver" },
    { VFT_DRV, VFT2_DRV_KEYBOARD, "Keyboard driver" },
    { VFT_DRV, VFT2_DRV_LANGUAGE, "Language driver" },
    { VFT_DRV, VFT2_DRV_DISPLAY, "Display driver" },
    { VFT_DRV, VFT2_DRV_MOUSE, "Mouse driver" },
    { VFT_DRV, VFT2_DRV_NETWORK, "Network driver" },
    { VFT_DRV, VFT2_DRV_SYSTEM, "System driver" },
    { VFT_DRV, VFT2_DRV_INSTALLABLE, "Installable driver" },
    { VFT_DRV, VFT2_DRV_SOUND, "Sound driver" },
    { VFT_DRV, kAnySubtype, "Unknown driver" },
    { VFT_FONT, VFT2_FONT_RASTER, "Raster font" },
    { VFT_FONT, VFT2_FONT_VECTOR, "Vector font" },
    { VFT_FONT, VFT2_FONT_TRUETYPE, "Truetype font" },
    { VFT_FONT, kAnySubtype, "Unknown font" },
    { VFT_VXD, kAnySubtype, "Virtual device" },
    { VFT_STATIC_LIB, kAnySubtype, "Static link library" },
};

struct FileOsName {
    DWORD os;
    const char* name;
};

const FileOsName kFileOses[] = {
    { VOS_DOS, "MS-DOS" },
    { VOS_DOS_WINDOWS16, "16-bit windows running on MS-DOS" },
    { VOS_DOS_WINDOWS32, "Win32 API running on MS-DOS" },
    { VOS_OS216, "16-bit OS/2" },
    { VOS_OS216_PM16, "16-bit Presentation manager running on 16-bit OS/2" },
    { VOS_OS232, "32-bit OS/2" },
    { VOS_NT, "Windows NT" },
    { VOS_NT_WINDOWS32, "Win32 API on Windows NT" },
};

}  // namespace

int XVersionInfo::Load(const char* fileName)
{
    char ownPath[MAX_PATH] = {};
    if (!m_module) {
        if (!fileName) {
            DWORD n = ::GetModuleFileNameA(nullptr, ownPath, sizeof(ownPath));
            if (n == 0 || n >= sizeof(ownPath))
                return 0;  // a cut path would name another file
            fileName = ownPath;
        }
        m_module.Reset(::LoadLibraryA(fileName));
    }
    if (!m_module)
        return 0;

    // The block is read from the file the module was loaded from.
    if (!fileName) {
        DWORD n = ::GetModuleFileNameA(m_module.Get(), ownPath, sizeof(ownPath));
        if (n == 0 || n >= sizeof(ownPath))
            return 0;
        fileName = ownPath;
    }
    DWORD dummy = 0;
    DWORD size = ::GetFileVersionInfoSizeA(fileName, &dummy);
    if (size == 0)
        return 0;
    m_block.reset(new (std::nothrow) BYTE[size]);
    if (!m_block)
        return 0;
    m_blockSize = size;

    void* value = nullptr;
    UINT cb = 0;
    if (::GetFileVersionInfoA(fileName, 0, size, m_block.get()) &&
        ::VerQueryValueA(m_block.get(), "\\VarFileInfo\\Translation", &value, &cb) && value &&
        cb >= 2 * sizeof(WORD)) {
        const WORD* words = static_cast<const WORD*>(value);
        m_translation = (static_cast<DWORD>(words[0]) << 16) | words[1];
        return 1;
    }
    Release();
    return 0;
}

bool XVersionInfo::QueryString(const char* name, DWORD translation, char* buffer, size_t cbBuffer) const
{
    CopyTextBounded(buffer, cbBuffer, "");
    if (!m_block || !name)
        return false;
    if (translation == 0)
        translation = m_translation;
    char query[128];
    if (FormatText(query, sizeof(query), "\\StringFileInfo\\%08lx\\%s", static_cast<unsigned long>(translation),
                   name) < 0)
        return false;
    void* value = nullptr;
    UINT length = 0;
    const BYTE* begin = m_block.get();
    if (!::VerQueryValueA(begin, query, &value, &length))
        return false;
    const BYTE* text = static_cast<const BYTE*>(value);
    if (text < begin || text >= begin + m_blockSize)
        return false;
    // Not by the length it reports: for a text stored as UTF-16, Windows counts its
    // characters, and the ANSI copy of a Chinese text has two bytes for each. Up to the
    // terminator, then, and never past the block.
    CopyTextBounded(buffer, cbBuffer, reinterpret_cast<const char*>(text), begin + m_blockSize - text);
    return true;
}

int XVersionInfo::GetVersionRecord(XVersionRecord* record) const
{
    if (!m_block || !record)
        return 0;

    struct Field {
        const char* name;
        char* text;
    };
    const Field fields[] = {
        { "CompanyName", record->CompanyName },
        { "LegalCopyright", record->LegalCopyright },
        { "FileDescription", record->FileDescription },
        { "InternalName", record->InternalName },
        { "OriginalFilename", record->OriginalFilename },
        { "ProductName", record->ProductName },
        { "ProductVersion", record->ProductVersion },
        { "FileVersion", record->FileVersion },
    };
    for (const Field& f : fields)
        QueryString(f.name, m_translation, f.text, kVersionTextMax);

    char language[MAX_PATH] = {};
    if (::VerLanguageNameA(HIWORD(m_translation), language, sizeof(language)))
        CopyTextBounded(record->Language, sizeof(record->Language), language);

    void* value = nullptr;
    UINT cb = 0;
    if (!::VerQueryValueA(m_block.get(), "\\", &value, &cb) || !value || cb < sizeof(VS_FIXEDFILEINFO))
        return 0;
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);

    // Each part is an unsigned 16-bit number: 65535 must never print as -1.
    FormatText(record->FileVersionNumber, sizeof(record->FileVersionNumber), "%u.%u.%u.%u",
               static_cast<unsigned>(HIWORD(fixed->dwFileVersionMS)),
               static_cast<unsigned>(LOWORD(fixed->dwFileVersionMS)),
               static_cast<unsigned>(HIWORD(fixed->dwFileVersionLS)),
               static_cast<unsigned>(LOWORD(fixed->dwFileVersionLS)));

    for (const FileTypeName& t : kFileTypes) {
        if (t.type == fixed->dwFileType && (t.subtype == kAnySubtype || t.subtype == fixed->dwFileSubtype)) {
            CopyTextBounded(record->FileType, sizeof(record->FileType), t.name);
            break;
        }
    }

    const char* os = "Unknown OS";
    for (const FileOsName& o : kFileOses) {
        if (o.os == fixed->dwFileOS)
            os = o.name;
    }
    CopyTextBounded(record->FileOS, sizeof(record->FileOS), os);
    return 1;
}

void XVersionInfo::Release()
{
    m_module.Reset();
    m_block.reset();
    m_blockSize = 0;
    m_translation = 0;
}
