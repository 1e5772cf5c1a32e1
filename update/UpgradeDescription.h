// Where the update description "upgrade.txt" is kept and how its version is compared.
#pragma once

#include <cstddef>

// Keys of the description, each looked up at occurrence 0.
extern const char kUpgradeKeyVersion[];  // "version": the newest version, as text
extern const char kUpgradeKeyUrl[];      // "url": the installer
extern const char kUpgradeKeyUrl2[];     // "url2": an optional second file
extern const char kUpgradeKeySignature[];  // "signature": the maker's, of version and installer
extern const char kUpgradeFileName[];    // "upgrade.txt"
extern const char kUpgradeTmpName[];     // "upgrade.tmp", where the second file goes

// The update directory: the temporary directory followed directly by "kovatemp" (no
// trailing backslash). False, with dir empty, when GetTempPathA fails, gives a relative
// path, or the directory with a backslash and a 12-byte file name would not fit in
// MAX_PATH or in size: then there is no update check.
bool GetUpdateDirectory(char* dir, size_t size);

// True when the offered version text is the program's own, byte for byte: then the
// program is current. Any difference (newer, older, or written otherwise, 1.0.6 against
// 1.0.6.0) offers the update. Null counts as different.
bool IsSameVersion(const char* own, const char* offered);
