// The packager's writer: appends a launcher's data to a stub executable. Windows-free; the
// command line and the tests both build launchers with it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace sldkpack {

// Bad input; the message names the problem.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct IncludedFile {
    std::string name;           // name inside the extraction directory ("dir\x.jar" for a subfolder)
    std::vector<uint8_t> bytes; // stored XOR 0x3C
};

struct MessageBlock {
    std::string key; // locale prefix ("de", "de_AT"); empty applies to every locale
    std::vector<std::pair<int32_t, std::u16string>> entries;
};

struct LauncherModel {
    bool integrityCheck = false;
    // Written in this order; a repeated id is written twice (the launcher keeps the later).
    std::vector<std::pair<int32_t, std::string>> config;
    // Start from defaultMessages() and override; written in this order.
    std::vector<std::pair<int32_t, std::u16string>> messages;
    std::vector<MessageBlock> localeBlocks;
    std::vector<IncludedFile> files;
    std::vector<uint8_t> trailer;
    // Fill entries 2002 (count) and 2003 (";"-joined names) from files unless config
    // already has them. Without files neither entry is added.
    bool fillPayloadEntries = true;
};

// English texts for messages 1000-1020 and 20001-20020 (20017 empty).
std::vector<std::pair<int32_t, std::u16string>> defaultMessages();

// Sets or replaces an entry of a list kept in first-seen order.
void setConfig(LauncherModel& model, int32_t id, std::string value);
void setMessage(std::vector<std::pair<int32_t, std::u16string>>& messages, int32_t id, std::u16string text);

// The file offset where appended data starts in this executable (the end of the raw data
// of its last section); throws PackError when the bytes are not a PE image.
size_t endOfLastSection(const std::vector<uint8_t>& stub);

// The file extent of an Authenticode signature (the certificate table the security directory
// names); size 0 when the image is not signed.
struct SignatureExtent {
    uint64_t offset = 0;
    uint64_t size = 0;
};
SignatureExtent signatureExtent(const std::vector<uint8_t>& image);

// The stub cut at endOfLastSection, followed by magic, integrity flag, CRC-32, covered
// length, configuration record, message table, locale blocks, included files, trailer and
// zero padding to a multiple of 512.
std::vector<uint8_t> buildLauncher(const std::vector<uint8_t>& stub, const LauncherModel& model);

// Friendly configuration names ("main-class" = 122); -1 when unknown.
int32_t configIdForName(const std::string& name);
// Every friendly name with its id, in id order (for the documentation and `inspect`).
const std::vector<std::pair<std::string, int32_t>>& configNames();

} // namespace sldkpack
