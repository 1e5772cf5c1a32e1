// The maker's signature in the update description: it vouches for one installer (by its
// SHA-256, and in the second form by its size too) offered under one version text, so
// neither other bytes nor an older signed installer under a newer version text pass.
#pragma once

#include <windows.h>

#include <cstddef>

const size_t kSha256Size = 32;
const size_t kSignatureSize = 64;

// The maker's Ed25519 public keys, current and next (the build makes this table from
// its key input): a description signed by either passes.
extern "C" const unsigned char kMakerUpdateKeys[2][32];

// The text the maker signs, into buffer (not terminated). Without a size (size < 0),
// the first form, which installers published before sizes were signed carry:
//   "Tollvane Lumaspire update signature 1\nversion=<version>\nsha256=<64 hex digits>\n"
// With one, the second form, which the release command writes now:
//   "Tollvane Lumaspire update signature 2\nversion=<version>\nsize=<decimal>\nsha256=<64 hex digits>\n"
// Its first line names this use and form, so a signature the maker made for anything
// else never fits here. Returns its length; 0 when version is null, holds a line end,
// or the text does not fit.
size_t MakeSignedText(const char* version, LONGLONG size, const unsigned char sha256[kSha256Size], char* buffer,
                      size_t bufferSize);

// True when signatureHex (128 hex digits, either case, nothing else) is an Ed25519
// signature of that text by one of kMakerUpdateKeys.
bool IsSignedByMaker(const char* version, LONGLONG size, const unsigned char sha256[kSha256Size],
                     const char* signatureHex);

// The size as the description gives it: 1 to 2^31 - 1 in plain decimal digits, no sign,
// no blank, no leading zero. -1 for anything else, and for null.
LONG ParseInstallerSize(const char* text);
