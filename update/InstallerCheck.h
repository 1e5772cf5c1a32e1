// The downloaded installer, checked and then held until it has been started: what the
// maker's key vouched for is what runs with administrator rights.
#pragma once

#include <windows.h>

#include "support/Scoped.h"

class XInstallerCheck {
public:
    // Opens path for reading with sharing that denies others writing, renaming and
    // deleting it, hashes it through that handle and checks that signatureHex is the
    // maker's signature of that hash under the version text. Where Windows has
    // WinVerifyTrust, an Authenticode signature that is present but no longer matches the
    // file's bytes refuses it too. True when it passed: the file then stays held until
    // Close or destruction. False, holding nothing, on any failure.
    bool Open(const char* path, const char* version, const char* signatureHex);
    void Close() { m_file.Reset(); }

private:
    ScopedHandle m_file;
};
