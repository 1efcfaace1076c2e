// `inspect` and `verify`: read a launcher back with the launcher core's own reader.
#include "tools/sldkpack/cli/cli.h"

#include "launchcore/appended_data_format.h"
#include "launchcore/crc32.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace sldkpack {
namespace {

namespace fs = std::filesystem;

constexpr size_t kHeaderSize = 20;

std::string hex32(uint32_t value) {
    char text[16];
    (void)std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

uint64_t littleEndian(const std::vector<uint8_t>& bytes, size_t at, int width) {
    uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | bytes[at + i];
    return value;
}

void escapeUnit(std::string& out, uint32_t unit, bool wide) {
    switch (unit) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    if (unit >= 0x20 && unit < 0x7F) {
        out += static_cast<char>(unit);
        return;
    }
    char text[8];
    if (wide)
        (void)std::snprintf(text, sizeof text, "\\u%04X", unit);
    else
        (void)std::snprintf(text, sizeof text, "\\x%02X", unit);
    out += text;
}

std::string escaped(std::string_view bytes) {
    std::string out = "\"";
    for (char c : bytes)
        escapeUnit(out, static_cast<uint8_t>(c), false);
    return out + "\"";
}

std::string escaped(std::u16string_view text) {
    std::string out = "\"";
    for (char16_t unit : text)
        escapeUnit(out, unit, true);
    return out + "\"";
}

// A file name as it stands in entry 2003, with only the unprintable bytes escaped.
std::string unquoted(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0x20 && byte < 0x7F)
            out += c;
        else
            escapeUnit(out, byte, false);
    }
    return out;
}

std::string friendlyName(int32_t id) {
    for (const auto& [name, known] : configNames())
        if (known == id)
            return " (" + name + ")";
    return std::string();
}

std::string describe(const AppendedDataError& error, int64_t position) {
    return std::string(fatalText(error.kind)) + " near offset " + std::to_string(position);
}

// What both commands need before they can look at the data: the bytes, the appended data's
// start, and whether a header fits. Throws PackError for input that is not a launcher at all.
struct Launcher {
    std::vector<uint8_t> bytes;
    size_t start = 0;
};

Launcher openLauncher(const fs::path& path) {
    Launcher launcher;
    launcher.bytes = readFileBytes(path, "launcher");
    try {
        launcher.start = endOfLastSection(launcher.bytes);
    } catch (const PackError& error) {
        throw PackError("'" + path.string() + "' is " + error.what());
    }
    return launcher;
}

struct CrcCheck {
    uint32_t stored = 0;
    std::optional<uint32_t> computed; // empty when the covered length runs past the end
    bool ok() const { return computed && *computed == stored; }
};

CrcCheck checkCrc(const Launcher& launcher, uint64_t coveredLength) {
    CrcCheck check;
    check.stored = static_cast<uint32_t>(littleEndian(launcher.bytes, launcher.start + 8, 4));
    const uint64_t available = launcher.bytes.size() - launcher.start - kHeaderSize;
    if (coveredLength <= available)
        check.computed = crc32(launcher.bytes.data() + launcher.start + kHeaderSize, coveredLength);
    return check;
}

const IncludedFileInfo* runtimeArchiveOf(const std::vector<IncludedFileInfo>& files) {
    for (const auto& file : files)
        if (file.name == kRuntimeArchiveName)
            return &file;
    return nullptr;
}

// The archive's line, or the reader's complaint.
RuntimeArchiveReport checkIncludedArchive(const Launcher& launcher, const IncludedFileInfo& file) {
    const auto* first = launcher.bytes.data() + file.offset;
    std::vector<uint8_t> bytes(first, first + std::max<int64_t>(file.length, 0));
    for (uint8_t& byte : bytes)
        byte ^= kPayloadScramble;
    return checkRuntimeArchive(bytes);
}

void printRecord(const AppendedRecord& record, std::ostream& out) {
    out << "config-entries: " << record.config.size() << "\n";
    for (const auto& [id, value] : record.config)
        out << "config " << id << friendlyName(id) << " = " << escaped(value) << "\n";
    out << "messages: " << record.messages.size() << "\n";
    for (const auto& [id, text] : record.messages)
        out << "message " << id << " = " << escaped(text) << "\n";
    out << "locale-blocks: " << record.localeBlocks.size() << "\n";
    for (const auto& block : record.localeBlocks) {
        out << "locale-block " << escaped(block.key) << ": " << block.entries.size() << " entries\n";
        for (const auto& [id, text] : block.entries)
            out << "  message " << id << " = " << escaped(text) << "\n";
    }
}

} // namespace

int runInspect(const fs::path& path, std::ostream& out, std::ostream& /*err*/) {
    const Launcher launcher = openLauncher(path);
    out << "appended-data-offset: " << launcher.start << "\n";
    if (launcher.bytes.size() - launcher.start < kHeaderSize) {
        out << "damaged: no appended data header (" << launcher.bytes.size() - launcher.start
            << " bytes after the last section)\n";
        return kExitDamaged;
    }
    const uint32_t magic = static_cast<uint32_t>(littleEndian(launcher.bytes, launcher.start, 4));
    const uint64_t covered = littleEndian(launcher.bytes, launcher.start + 12, 8);
    const CrcCheck crc = checkCrc(launcher, covered);
    bool damaged = false;
    out << "magic: " << hex32(magic) << (magic == kAppendedDataMagic ? "" : " (wrong)") << "\n";
    out << "integrity-check: " << littleEndian(launcher.bytes, launcher.start + 4, 4) << "\n";
    out << "crc: stored " << hex32(crc.stored) << " computed "
        << (crc.computed ? hex32(*crc.computed) : std::string("none")) << (crc.ok() ? " (ok)" : " (MISMATCH)")
        << "\n";
    out << "covered-length: " << covered;
    if (!crc.computed)
        out << " (runs past the end of the file)";
    out << "\n";
    damaged = magic != kAppendedDataMagic || !crc.ok();
    if (magic != kAppendedDataMagic)
        return kExitDamaged;

    // Everything the record describes lies inside the covered bytes; reading on into the
    // padding would turn its zeros into phantom entries or empty files.
    const size_t readable = crc.computed ? launcher.start + kHeaderSize + covered : launcher.bytes.size();
    MemoryByteSource source(launcher.bytes.data(), readable);
    source.seek(static_cast<int64_t>(launcher.start));
    AppendedRecord record;
    const auto recordError = readAppendedRecord(source, record);
    // On a failed read the record holds what came before the damage; show that much.
    printRecord(record, out);
    if (recordError) {
        out << "damaged: " << describe(*recordError, source.position()) << "\n";
        return kExitDamaged;
    }
    out << "payload-start: " << record.payloadStart << "\n";

    std::vector<IncludedFileInfo> files;
    int64_t unextracted = 0;
    if (auto error = listIncludedFiles(source, record, files, unextracted)) {
        for (const auto& file : files)
            out << "file " << unquoted(file.name) << ": " << file.length << " bytes\n";
        out << "damaged: included files: " << describe(*error, source.position()) << "\n";
        return kExitDamaged;
    }
    for (const auto& file : files)
        out << "file " << unquoted(file.name) << ": " << file.length << " bytes\n";
    if (const IncludedFileInfo* archive = runtimeArchiveOf(files)) {
        const RuntimeArchiveReport report = checkIncludedArchive(launcher, *archive);
        if (!report.intact) {
            out << "damaged: runtime archive " << kRuntimeArchiveName << ": " << report.problem << "\n";
            damaged = true;
        } else {
            out << describeRuntimeArchive(static_cast<uint64_t>(archive->length), report.members, report.unpacked)
                << "\n";
        }
    }
    out << "unextracted-position: " << unextracted << "\n";
    const int64_t coveredEnd = static_cast<int64_t>(launcher.start + kHeaderSize + covered);
    if (crc.computed && coveredEnd >= unextracted)
        out << "trailer: " << coveredEnd - unextracted << " bytes\n";
    // A signed launcher ends with its certificate table, which the signing tool placed
    // behind the padding.
    const SignatureExtent signature = signatureExtent(launcher.bytes);
    const bool signatureBehind = signature.size != 0 && static_cast<int64_t>(signature.offset) >= coveredEnd &&
                                 signature.offset <= launcher.bytes.size();
    const int64_t dataEnd =
        signatureBehind ? static_cast<int64_t>(signature.offset) : static_cast<int64_t>(launcher.bytes.size());
    if (crc.computed)
        out << "padding: " << dataEnd - coveredEnd << " bytes\n";
    if (signatureBehind)
        out << "signature: " << launcher.bytes.size() - signature.offset << " bytes\n";
    return damaged ? kExitDamaged : kExitOk;
}

int runVerify(const fs::path& path, std::ostream& out, std::ostream& /*err*/) {
    const Launcher launcher = openLauncher(path);
    if (launcher.bytes.size() - launcher.start < kHeaderSize) {
        out << "no appended data behind the last section\n";
        return kExitDamaged;
    }
    const uint32_t magic = static_cast<uint32_t>(littleEndian(launcher.bytes, launcher.start, 4));
    if (magic != kAppendedDataMagic) {
        out << "wrong magic " << hex32(magic) << " (expected " << hex32(kAppendedDataMagic) << ")\n";
        return kExitDamaged;
    }
    const uint64_t covered = littleEndian(launcher.bytes, launcher.start + 12, 8);
    const CrcCheck crc = checkCrc(launcher, covered);
    if (!crc.computed) {
        out << "covered length " << covered << " runs past the end of the file\n";
        return kExitDamaged;
    }
    if (!crc.ok()) {
        out << "crc mismatch: stored " << hex32(crc.stored) << " computed " << hex32(*crc.computed) << "\n";
        return kExitDamaged;
    }
    // The included files are found through the record; the CRC held, so an unreadable one was
    // written that way.
    MemoryByteSource source(launcher.bytes.data(), launcher.start + kHeaderSize + covered);
    source.seek(static_cast<int64_t>(launcher.start));
    AppendedRecord record;
    std::vector<IncludedFileInfo> files;
    int64_t unextracted = 0;
    auto error = readAppendedRecord(source, record);
    if (!error)
        error = listIncludedFiles(source, record, files, unextracted);
    if (error) {
        out << "unreadable record: " << describe(*error, source.position()) << "\n";
        return kExitDamaged;
    }
    if (const IncludedFileInfo* archive = runtimeArchiveOf(files)) {
        const RuntimeArchiveReport report = checkIncludedArchive(launcher, *archive);
        if (!report.intact) {
            out << "runtime archive " << kRuntimeArchiveName << " is damaged: " << report.problem << "\n";
            return kExitDamaged;
        }
        out << describeRuntimeArchive(static_cast<uint64_t>(archive->length), report.members, report.unpacked)
            << "\n";
    }
    out << "ok\n";
    return kExitOk;
}

} // namespace sldkpack
