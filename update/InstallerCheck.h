// The downloaded installer, checked and then held until the installer has ended: what
// the maker's key vouched for is what runs with administrator rights.
#pragma once

#include <windows.h>

#include <cstddef>

#include "support/Scoped.h"

// The maker's code-signing public key (the bit string of its certificate's public key
// information) when the build was given the certificate; size 0 in builds without one.
extern "C" const unsigned char kPublisherKey[];
extern "C" const unsigned int kPublisherKeySize;

class XInstallerCheck {
public:
    // Opens path for reading with sharing that denies others writing, renaming and
    // deleting it, hashes it through that handle and checks that signatureHex is the
    // maker's signature of that hash under the version text, and of the size when the
    // description gave one (size >= 0; the file must have that many bytes). Where
    // Windows has WinVerifyTrust, an Authenticode signature that is present but no
    // longer matches the file's bytes refuses it too; and in a build that knows the
    // maker's code-signing key, only a valid Authenticode signature by that key passes.
    // True when it passed: the file then stays held until Close or destruction. False,
    // holding nothing, on any failure.
    bool Open(const char* path, const char* version, LONG size, const char* signatureHex);
    void Close() { m_file.Reset(); }
    // Hands the held file's handle to the caller, who then closes it.
    HANDLE Detach() { return m_file.Detach(); }

    // The path to start the held file by, into buffer: where Windows can tell it
    // (GetFinalPathNameByHandle, Vista and later), the held file's own, with every link
    // on the way resolved, so that no folder swapped in after the check can put another
    // file under the name; elsewhere the path it was opened by. False when nothing is
    // held or it does not fit.
    bool GetRunPath(char* buffer, size_t size) const;

private:
    ScopedHandle m_file;
    char m_path[MAX_PATH] = {};
};
