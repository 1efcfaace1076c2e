#include "tools/sldkpack/packer.h"

#include "launchcore/appended_data_format.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/crc32.h"

#include <algorithm>
#include <limits>

namespace sldkpack {
namespace {

constexpr size_t kBlockSize = 512;
// The launcher seeks with 32-bit signed distances, so nothing it reads may lie at or past 2 GiB.
constexpr uint64_t kMaxLauncherSize = 0x7FFFFFFFu;

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void putU64(std::vector<uint8_t>& out, uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void patchU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void patchU64(std::vector<uint8_t>& out, size_t at, uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

int32_t checkedLength(size_t length, const std::string& what) {
    if (length > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw PackError(what + " is too long");
    return static_cast<int32_t>(length);
}

void putBytes(std::vector<uint8_t>& out, const std::string& bytes, const std::string& what) {
    putU32(out, static_cast<uint32_t>(checkedLength(bytes.size(), what)));
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void putUtf16(std::vector<uint8_t>& out, const std::u16string& text, const std::string& what) {
    putU32(out, static_cast<uint32_t>(checkedLength(text.size() * 2, what)));
    for (char16_t unit : text) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    }
}

void putMessages(std::vector<uint8_t>& out, const std::vector<std::pair<int32_t, std::u16string>>& messages) {
    putU32(out, static_cast<uint32_t>(checkedLength(messages.size(), "the message table")));
    for (const auto& [id, text] : messages) {
        putU32(out, static_cast<uint32_t>(id));
        putUtf16(out, text, "message " + std::to_string(id));
    }
}

bool hasConfig(const std::vector<std::pair<int32_t, std::string>>& config, int32_t id) {
    return std::any_of(config.begin(), config.end(), [id](const auto& entry) { return entry.first == id; });
}

uint32_t u32At(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t u16At(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

} // namespace

std::vector<std::pair<int32_t, std::u16string>> defaultMessages() {
    return {
        {1000, u"Error"},
        {1001, u"No JVM could be found on your system.\nPlease define VEXON_JAVA_HOME\nto point to an installed "
               u"JDK or JRE or download a JRE from\nhttps://jdk.java.net/"},
        {1002, u"The JVM found in your path is damaged.\nPlease reinstall or define VEXON_JAVA_HOME\nto point to an "
               u"installed JDK or JRE."},
        {1003, u"The {0} environment variable does not\npoint to a working JDK or JRE."},
        {1004, u"The JVM found at {0} is damaged.\nPlease reinstall or define VEXON_JAVA_HOME\nto point to an "
               u"installed JDK or JRE."},
        {1005, u"The JVM could not be started. The maximum heap size (-Xmx) might be too large or an antivirus or "
               u"firewall tool could block the execution."},
        {1006, u"File or directory {0} not found or empty\n"},
        {1007, u"Wrong Parameter Usage"},
        {1008, u"The environment variable {0} has to be defined"},
        {1009, u"An internal error occurred (error code: {0})"},
        {1010, u"Couldn't load main class."},
        {1011, u"Main method not found."},
        {1012, u"Error"},
        {1013, u"Ok"},
        {1014, u"An error occurred while starting up {0}:"},
        {1015, u"You must be at least Poweruser to run this program."},
        {1016, u"No JVM could be found on your system.\nPlease define VEXON_JAVA_HOME\nto point to an installed "
               u"{0}-bit JDK or JRE or download a JRE from\nhttps://jdk.java.net/"},
        {1017, u"The {0} environment variable does not\npoint to a working 32-bit JDK or JRE."},
        {1018, u"The {0} environment variable does not\npoint to a working 64-bit JDK or JRE."},
        {1019, u"The JVM found at {0} is damaged.\nPlease reinstall or define VEXON_JAVA_HOME\nto point to an "
               u"installed 32-bit JDK or JRE."},
        {1020, u"The JVM found at {0} is damaged.\nPlease reinstall or define VEXON_JAVA_HOME\nto point to an "
               u"installed 64-bit JDK or JRE."},
        {20001, u"Downloading the Java runtime ..."},
        {20002, u"Cannot initialize wininet.dll. Please install\nInternet Explorer 3.0 or higher."},
        {20003, u"The Java runtime could not be downloaded."},
        {20004, u"Please choose the java.exe of a Java runtime"},
        {20005, u"No suitable Java runtime was found on this computer.\nPlease locate one or download a %S-bit JRE."},
        {20006, u"No suitable Java runtime was found on this computer.\nPlease locate a %S-bit JRE."},
        {20007, u"Preparing the installation ..."},
        {20008, u"%.2f MB of %.2f MB (%.1f%%) at %.1f kb/s"},
        {20009, u"Initializing connection ..."},
        {20010, u"Download"},
        {20011, u"Locate"},
        {20012, u"Cancel"},
        {20013, u"Setup Wizard"},
        {20014, u"The Java VM could not be started.\nPlease start the installer again with the option /manual "
                u"and choose a Java runtime."},
        {20015, u"The previous run of the installer did not start correctly."},
        {20016, u"The installation file is corrupted. If it is a download please try it again."},
        {20017, u""},
        {20018, u"Not Enough Disk Space"},
        {20019, u"minimum version:"},
        {20020, u"maximum version:"},
    };
}

void setConfig(LauncherModel& model, int32_t id, std::string value) {
    for (auto& entry : model.config) {
        if (entry.first == id) {
            entry.second = std::move(value);
            return;
        }
    }
    model.config.emplace_back(id, std::move(value));
}

void setMessage(std::vector<std::pair<int32_t, std::u16string>>& messages, int32_t id, std::u16string text) {
    for (auto& entry : messages) {
        if (entry.first == id) {
            entry.second = std::move(text);
            return;
        }
    }
    messages.emplace_back(id, std::move(text));
}

size_t endOfLastSection(const std::vector<uint8_t>& stub) {
    // These checks only name what is wrong with a bad stub; where the data goes is decided by
    // the launcher's own walk, so the two cannot drift apart.
    if (stub.size() < 64 || stub[0] != 'M' || stub[1] != 'Z')
        throw PackError("not a PE file (no MZ header)");
    const uint64_t peOffset = u32At(stub, 60);
    if (peOffset + 24 > stub.size() || stub[peOffset] != 'P' || stub[peOffset + 1] != 'E' ||
        stub[peOffset + 2] != 0 || stub[peOffset + 3] != 0)
        throw PackError("not a PE file (no PE signature)");
    const int16_t sectionCount = static_cast<int16_t>(u16At(stub, peOffset + 6));
    const int16_t optionalHeaderSize = static_cast<int16_t>(u16At(stub, peOffset + 20));
    if (sectionCount <= 0)
        throw PackError("not a PE file (no sections)");
    if (optionalHeaderSize < 0)
        throw PackError("not a PE file (bad optional header size)");
    const uint64_t lastHeader = peOffset + 24 + static_cast<uint64_t>(optionalHeaderSize) +
                                40 * static_cast<uint64_t>(sectionCount - 1);
    if (lastHeader + 40 > stub.size())
        throw PackError("not a PE file (section table runs past the end)");
    MemoryByteSource source(stub.data(), stub.size());
    int64_t end = 0;
    if (seekAppendedData(source, end))
        throw PackError("not a PE file (last section runs past the end)");
    return static_cast<size_t>(end);
}

SignatureExtent signatureExtent(const std::vector<uint8_t>& image) {
    if (image.size() < 64)
        return {};
    const uint64_t optionalHeader = static_cast<uint64_t>(u32At(image, 60)) + 24;
    if (optionalHeader + 2 > image.size())
        return {};
    // The data directories follow the fixed part of the optional header, which is longer in
    // a 64-bit image; the security directory is the fifth and holds a file offset.
    const bool wide = u16At(image, optionalHeader) == 0x20B;
    const uint64_t countAt = optionalHeader + (wide ? 108 : 92);
    const uint64_t securityAt = countAt + 4 + 4 * uint64_t{8};
    if (securityAt + 8 > image.size() || u32At(image, countAt) < 5)
        return {};
    return {u32At(image, securityAt), u32At(image, securityAt + 4)};
}

std::vector<uint8_t> buildLauncher(const std::vector<uint8_t>& stub, const LauncherModel& model) {
    const size_t stubEnd = endOfLastSection(stub);
    std::vector<uint8_t> out(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(stubEnd));
    const size_t appendedStart = out.size();

    putU32(out, kAppendedDataMagic);
    putU32(out, model.integrityCheck ? 1u : 0u);
    putU32(out, 0); // checksum, patched below
    putU64(out, 0); // covered length, patched below
    const size_t coveredStart = out.size();

    std::vector<std::pair<int32_t, std::string>> config = model.config;
    if (model.fillPayloadEntries && !model.files.empty()) {
        if (!hasConfig(config, config_entry::kIncludedFileCount))
            config.emplace_back(config_entry::kIncludedFileCount, std::to_string(model.files.size()));
        if (!hasConfig(config, config_entry::kIncludedFileList)) {
            std::string list;
            for (const auto& file : model.files) {
                if (!list.empty())
                    list += ';';
                list += file.name;
            }
            config.emplace_back(config_entry::kIncludedFileList, std::move(list));
        }
    }
    putU32(out, static_cast<uint32_t>(checkedLength(config.size(), "the configuration record")));
    for (const auto& [id, value] : config) {
        putU32(out, static_cast<uint32_t>(id));
        putBytes(out, value, "configuration entry " + std::to_string(id));
    }

    putMessages(out, model.messages);

    putU32(out, static_cast<uint32_t>(checkedLength(model.localeBlocks.size(), "the locale block list")));
    for (const auto& block : model.localeBlocks) {
        putBytes(out, block.key, "locale key \"" + block.key + "\"");
        putMessages(out, block.entries);
    }

    for (const auto& file : model.files) {
        putU64(out, file.bytes.size());
        for (uint8_t byte : file.bytes)
            out.push_back(byte ^ kPayloadScramble);
    }
    out.insert(out.end(), model.trailer.begin(), model.trailer.end());

    const size_t coveredLength = out.size() - coveredStart;
    if (out.size() > kMaxLauncherSize)
        throw PackError("the launcher would be larger than 2 GiB");
    patchU32(out, appendedStart + 8, crc32(out.data() + coveredStart, coveredLength));
    patchU64(out, appendedStart + 12, coveredLength);

    out.resize((out.size() + kBlockSize - 1) / kBlockSize * kBlockSize, 0);
    return out;
}

const std::vector<std::pair<std::string, int32_t>>& configNames() {
    using namespace config_entry;
    static const std::vector<std::pair<std::string, int32_t>> names = {
        {"application-name", kApplicationName},
        {"redirect-stderr", kRedirectStandardError},
        {"stderr-file", kStandardErrorFile},
        {"redirect-stdout", kRedirectStandardOutput},
        {"stdout-file", kStandardOutputFile},
        {"launcher-flag", kLauncherFlag},
        {"application-kind", kApplicationKind},
        {"splash-text-config", kSplashTextConfiguration},
        {"class-path", kClassPath},
        {"main-class", kMainClass},
        {"vm-options", kVmOptions},
        {"application-arguments", kApplicationArguments},
        {"dash-j-vm-options", kDashJVmOptions},
        {"min-java-version", kMinimumJavaVersion},
        {"max-java-version", kMaximumJavaVersion},
        {"jvm-search-sequence", kJvmSearchSequence},
        {"allow-prerelease-java", kAllowPreReleaseJava},
        {"jdk-required", kJdkRequired},
        {"module-path", kModulePath},
        {"main-class-in-module", kMainClassInModule},
        {"working-directory", kWorkingDirectory},
        {"service-dependencies", kServiceDependencies},
        {"runtime-download-url", kRuntimeDownloadUrl},
        {"runtime-archive-size", kRuntimeArchiveSize},
        {"preferred-vm-type", kPreferredVmType},
        {"runtime-pack200", kRuntimePack200},
        {"add-dll-directories", kAddDllDirectories},
        {"no-progress-window", kNoProgressWindow},
        {"auto-download-runtime", kAutoDownloadRuntime},
        {"global-single-instance", kGlobalSingleInstance},
        {"no-java-window-time-limit", kNoJavaWindowTimeLimit},
        {"installation-registry-name", kInstallationRegistryName},
        {"prefer-installed-runtime", kPreferInstalledRuntime},
        {"splash-second-flag", kSplashSecondFlag},
        {"jvm-search-variant", kJvmSearchVariant},
        {"read-default-vmoptions", kReadDefaultVmOptions},
        {"product-kind", kProductKind},
        {"included-file-count", kIncludedFileCount},
        {"included-file-list", kIncludedFileList},
        {"runtime-download-sha256", kRuntimeDownloadSha256},
        {"runtime-preferences-directory", kRuntimePreferencesDirectory},
        {"native-library-directory", kNativeLibraryDirectory},
        {"single-instance", kSingleInstance},
        {"bring-instance-to-front", kBringInstanceToFront},
        {"splash-line1-x", kSplashLine1X},
        {"splash-line1-y", kSplashLine1Y},
        {"splash-line1-text", kSplashLine1Text},
        {"splash-line1-font", kSplashLine1Font},
        {"splash-line1-font-size", kSplashLine1FontSize},
        {"splash-line1-color", kSplashLine1Color},
        {"splash-line1-font-weight", kSplashLine1FontWeight},
        {"splash-line2-x", kSplashLine2X},
        {"splash-line2-y", kSplashLine2Y},
        {"splash-line2-text", kSplashLine2Text},
        {"splash-line2-font", kSplashLine2Font},
        {"splash-line2-font-size", kSplashLine2FontSize},
        {"splash-line2-color", kSplashLine2Color},
        {"splash-line2-font-weight", kSplashLine2FontWeight},
        {"version-option-line-count", kVersionOptionLineCount},
    };
    return names;
}

int32_t configIdForName(const std::string& name) {
    for (const auto& [known, id] : configNames())
        if (known == name)
            return id;
    return -1;
}

} // namespace sldkpack
