// The SHA-256 of a downloaded archive, computed with the system's CNG functions (bound at
// run time from bcrypt.dll in the system directory) while the bytes are written.
#pragma once

#include <windows.h>

#include <optional>

#include "setuplauncher/download_checksum.h"

// The digest configuration entry 2004 asks for; nothing when the entry is empty. Any other
// text than 64 hexadecimal digits is logged (once) and ignored.
std::optional<Sha256Digest> configuredDownloadChecksum();

class Sha256Hash {
public:
    Sha256Hash();
    Sha256Hash(const Sha256Hash&) = delete;
    Sha256Hash& operator=(const Sha256Hash&) = delete;
    ~Sha256Hash();

    // False when the system's hash could not be set up (the error is logged).
    bool usable() const { return hash_ != nullptr; }
    bool add(const void* bytes, DWORD length);
    // The digest of everything added; callable once.
    std::optional<Sha256Digest> finish();

private:
    void* hash_ = nullptr;
};
