// Signatures of update descriptions as the maker makes them, with the throwaway keys the
// build made (build/update/keys/) or a key of the test's own. The signed text is written
// out here from its description, not taken from the program.
#pragma once

#include <string>

// The 32-byte seed of the build's throwaway key "current" or "next"; empty when missing.
std::string BuildKeySeed(const char* name);
// A key no build knows.
std::string UnknownKeySeed();

// SHA-256 of bytes, as 64 lowercase hex digits.
std::string Sha256Hex(const std::string& bytes);
// 128 hex digits: the Ed25519 signature by the key of seed over the maker's text for
// this version and installer: the first form without a size (size < 0), the second
// (which also names the size) with one.
std::string SignUpdate(const std::string& seed, const std::string& version, const std::string& installer,
                       long long size = -1);
