#include "common/UpdateSigning.h"

#include <sodium/crypto_hash_sha256.h>
#include <sodium/crypto_sign_ed25519.h>

#include "common/TestSupport.h"

namespace {

std::string Hex(const unsigned char* bytes, size_t size)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
    }
    return text;
}

}  // namespace

std::string BuildKeySeed(const char* name)
{
    // A PKCS#8 Ed25519 private key in DER: 16 bytes of header, then the 32-byte seed.
    std::string der = ReadAll(ExeDir() + "..\\update\\keys\\" + name + ".der");
    return der.size() == 48 ? der.substr(16) : std::string();
}

std::string UnknownKeySeed()
{
    return std::string(32, '\x5a');
}

std::string Sha256Hex(const std::string& bytes)
{
    unsigned char hash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(hash, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return Hex(hash, sizeof(hash));
}

std::string SignUpdate(const std::string& seed, const std::string& version, const std::string& installer,
                       long long size)
{
    if (seed.size() != crypto_sign_ed25519_SEEDBYTES)
        return std::string();
    unsigned char pk[crypto_sign_ed25519_PUBLICKEYBYTES], sk[crypto_sign_ed25519_SECRETKEYBYTES];
    crypto_sign_ed25519_seed_keypair(pk, sk, reinterpret_cast<const unsigned char*>(seed.data()));
    std::string text = size < 0 ? "Tollvane Lumaspire update signature 1\nversion=" + version
                                : "Tollvane Lumaspire update signature 2\nversion=" + version +
                                      "\nsize=" + std::to_string(size);
    text += "\nsha256=" + Sha256Hex(installer) + "\n";
    unsigned char signature[crypto_sign_ed25519_BYTES];
    crypto_sign_ed25519_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(text.data()),
                                 text.size(), sk);
    return Hex(signature, sizeof(signature));
}
