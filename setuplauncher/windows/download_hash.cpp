#include "setuplauncher/windows/download_hash.h"

#include <mutex>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/windows/base/late_binding.h"
#include "launchcore/windows/log/diagnostic_log.h"

namespace {

using Status = LONG;

struct BcryptFunctions {
    Status(WINAPI* openAlgorithm)(void** algorithm, const wchar_t* id, const wchar_t* implementation, ULONG flags);
    Status(WINAPI* createHash)(void* algorithm, void** hash, UCHAR* object, ULONG objectLength, UCHAR* secret,
                               ULONG secretLength, ULONG flags);
    Status(WINAPI* hashData)(void* hash, UCHAR* input, ULONG length, ULONG flags);
    Status(WINAPI* finishHash)(void* hash, UCHAR* output, ULONG length, ULONG flags);
    Status(WINAPI* destroyHash)(void* hash);
};

struct Sha256Provider {
    BcryptFunctions functions{};
    void* algorithm = nullptr; // kept for the life of the process
};

template <typename Function>
bool bindOne(Function& target, const char* name)
{
    target = lateBound<Function>(L"bcrypt.dll", name);
    return target != nullptr;
}

const Sha256Provider& provider()
{
    static Sha256Provider shared;
    static std::once_flag once;
    std::call_once(once, [] {
        BcryptFunctions& f = shared.functions;
        const bool bound = bindOne(f.openAlgorithm, "BCryptOpenAlgorithmProvider") &&
                           bindOne(f.createHash, "BCryptCreateHash") && bindOne(f.hashData, "BCryptHashData") &&
                           bindOne(f.finishHash, "BCryptFinishHash") && bindOne(f.destroyHash, "BCryptDestroyHash");
        if (!bound) {
            logError(L"Could not load bcrypt functions (%d)", static_cast<int>(GetLastError()));
            return;
        }
        const Status status = f.openAlgorithm(&shared.algorithm, L"SHA256", nullptr, 0);
        if (status < 0) {
            shared.algorithm = nullptr;
            logError(L"BCryptOpenAlgorithmProvider failed with status 0x%08x", static_cast<unsigned>(status));
        }
    });
    return shared;
}

} // namespace

std::optional<Sha256Digest> configuredDownloadChecksum()
{
    const std::string& text = configValue(config_entry::kRuntimeDownloadSha256);
    if (text.empty())
        return std::nullopt;
    const std::optional<Sha256Digest> digest = parseSha256Text(text);
    if (!digest) {
        static std::once_flag reported;
        std::call_once(reported, [] { logError(L"download checksum ignored: not 64 hexadecimal digits"); });
    }
    return digest;
}

Sha256Hash::Sha256Hash()
{
    const Sha256Provider& shared = provider();
    if (!shared.algorithm)
        return;
    const Status status = shared.functions.createHash(shared.algorithm, &hash_, nullptr, 0, nullptr, 0, 0);
    if (status < 0) {
        hash_ = nullptr;
        logError(L"BCryptCreateHash failed with status 0x%08x", static_cast<unsigned>(status));
    }
}

Sha256Hash::~Sha256Hash()
{
    if (hash_)
        provider().functions.destroyHash(hash_);
}

bool Sha256Hash::add(const void* bytes, DWORD length)
{
    if (!hash_)
        return false;
    return provider().functions.hashData(hash_, static_cast<UCHAR*>(const_cast<void*>(bytes)), length, 0) >= 0;
}

std::optional<Sha256Digest> Sha256Hash::finish()
{
    Sha256Digest digest{};
    if (!hash_ || provider().functions.finishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0) < 0)
        return std::nullopt;
    return digest;
}
