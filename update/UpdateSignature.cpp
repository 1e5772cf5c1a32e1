#include "update/UpdateSignature.h"

#include <cstring>

#include <sodium/crypto_sign_ed25519.h>

#include "support/FormatText.h"

namespace {

const char kFirstFormLine[] = "Tollvane Lumaspire update signature 1\nversion=";
const char kSecondFormLine[] = "Tollvane Lumaspire update signature 2\nversion=";
const char kHashLine[] = "\nsha256=";
const char kDigits[] = "0123456789abcdef";

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseSignature(const char* hex, unsigned char out[kSignatureSize])
{
    if (!hex || strlen(hex) != 2 * kSignatureSize)
        return false;
    for (size_t i = 0; i < kSignatureSize; ++i) {
        int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

}  // namespace

size_t MakeSignedText(const char* version, LONGLONG size, const unsigned char sha256[kSha256Size], char* buffer,
                      size_t bufferSize)
{
    if (!version || !sha256 || !buffer || strchr(version, '\n'))
        return 0;
    char sizeLine[32] = "";
    if (size >= 0)
        FormatText(sizeLine, sizeof(sizeLine), "\nsize=%lu", static_cast<unsigned long>(size));
    const char* firstLine = size >= 0 ? kSecondFormLine : kFirstFormLine;
    size_t firstLength = strlen(firstLine), versionLength = strlen(version), sizeLength = strlen(sizeLine);
    size_t total = firstLength + versionLength + sizeLength + sizeof(kHashLine) - 1 + 2 * kSha256Size + 1;
    if (versionLength >= bufferSize || total > bufferSize)
        return 0;
    char* p = buffer;
    memcpy(p, firstLine, firstLength);
    p += firstLength;
    memcpy(p, version, versionLength);
    p += versionLength;
    memcpy(p, sizeLine, sizeLength);
    p += sizeLength;
    memcpy(p, kHashLine, sizeof(kHashLine) - 1);
    p += sizeof(kHashLine) - 1;
    for (size_t i = 0; i < kSha256Size; ++i) {
        *p++ = kDigits[sha256[i] >> 4];
        *p++ = kDigits[sha256[i] & 15];
    }
    *p++ = '\n';
    return total;
}

bool IsSignedByMaker(const char* version, LONGLONG size, const unsigned char sha256[kSha256Size],
                     const char* signatureHex)
{
    unsigned char signature[kSignatureSize];
    char text[512];
    size_t length = MakeSignedText(version, size, sha256, text, sizeof(text));
    if (!length || !ParseSignature(signatureHex, signature))
        return false;
    // No sodium_init: these functions need none of what it sets up (it picks CPU-specific
    // code of other primitives and seeds the random source, whose Windows one,
    // RtlGenRandom, Windows 98 lacks; a check needs no random numbers).
    for (const unsigned char* key : kMakerUpdateKeys) {
        if (crypto_sign_ed25519_verify_detached(signature, reinterpret_cast<const unsigned char*>(text), length,
                                                key) == 0)
            return true;
    }
    return false;
}

LONG ParseInstallerSize(const char* text)
{
    if (!text || *text < '1' || *text > '9')
        return -1;
    LONGLONG value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return -1;
        value = value * 10 + (*p - '0');
        if (value > 0x7FFFFFFF)
            return -1;
    }
    return static_cast<LONG>(value);
}
