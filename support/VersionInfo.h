// Reader of an executable's version resource, and the record of texts made from it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

#include "support/Scoped.h"

// Every text of the record holds at most kVersionTextMax - 1 bytes; a longer value is cut
// at a whole (double-byte) character.
const size_t kVersionTextMax = 260;

struct XVersionRecord {
    char CompanyName[kVersionTextMax] = {};
    char LegalCopyright[kVersionTextMax] = {};
    char FileDescription[kVersionTextMax] = {};
    char Language[kVersionTextMax] = {};
    char InternalName[kVersionTextMax] = {};
    char OriginalFilename[kVersionTextMax] = {};
    char ProductName[kVersionTextMax] = {};
    char ProductVersion[kVersionTextMax] = {};
    char FileVersionNumber[kVersionTextMax] = {};  // fixed file version, "a.b.c.d"
    char FileVersion[kVersionTextMax] = {};
    char FileOS[kVersionTextMax] = {};
    char FileType[kVersionTextMax] = {};
};

class XVersionInfo {
public:
    XVersionInfo() = default;
    ~XVersionInfo() { Release(); }
    XVersionInfo(const XVersionInfo&) = delete;
    XVersionInfo& operator=(const XVersionInfo&) = delete;

    // Reads the version block of fileName (the program's own executable when null).
    // 1 on success. Without a version block the module stays held until Release.
    int Load(const char* fileName);
    // The string value name under translation (0: the block's own) into buffer,
    // empty when there is none. False when the value is missing.
    bool QueryString(const char* name, DWORD translation, char* buffer, size_t cbBuffer) const;
    // 1 when every field was filled; 0 with no block (record untouched) or no fixed
    // information (the last three fields untouched).
    int GetVersionRecord(XVersionRecord* record) const;
    // Gives the module and the block back; harmless to repeat.
    void Release();

    // Language in the high word, code page in the low word; 0 when nothing is loaded.
    DWORD GetTranslation() const { return m_translation; }

private:
    ScopedModule m_module;
    std::unique_ptr<BYTE[]> m_block;
    DWORD m_blockSize = 0;
    DWORD m_translation = 0;
};
