// Argument parsing and the `build` command.
#include "tools/sldkpack/cli/cli.h"

#include "launchcore/configuration_entries.h"
#include "tools/sldkpack/sha256.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <fstream>
#include <ostream>
#include <string_view>

namespace sldkpack {
namespace {

namespace fs = std::filesystem;

// The image goes to OUT.tmp first and is renamed into place, so a failed or interrupted
// build never leaves a half-written launcher under the requested name.
void writeAtomically(const fs::path& target, const std::vector<uint8_t>& bytes) {
    fs::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            throw PackError("cannot write '" + temporary.string() + "': " + std::generic_category().message(errno));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw PackError("cannot write '" + temporary.string() + "'");
        }
    }
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw PackError("cannot rename '" + temporary.string() + "' to '" + target.string() + "': " + ec.message());
    }
}

const std::string* configEntry(const LauncherModel& model, int32_t id) {
    for (const auto& entry : model.config)
        if (entry.first == id)
            return &entry.second;
    return nullptr;
}

// Entry 2004 from a local copy of the archive the launcher downloads.
void setDownloadChecksum(LauncherModel& model, const fs::path& archive) {
    const std::string* url = configEntry(model, config_entry::kRuntimeDownloadUrl);
    if (!url || url->empty())
        throw PackError("--download-archive needs a runtime-download-url (entry 150) in the configuration");
    const auto bytes = readFileBytes(archive, "download archive");
    const std::string digest = sha256Hex(bytes.data(), bytes.size());
    const std::string* given = configEntry(model, config_entry::kRuntimeDownloadSha256);
    if (given && !given->empty()) {
        std::string lower = *given;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower != digest)
            throw PackError("entry 2004 does not match the SHA-256 of '" + archive.string() + "' (" + digest + ")");
    }
    setConfig(model, config_entry::kRuntimeDownloadSha256, digest);
}


// The runtime archive goes behind the [[file]] entries; an explicit entry 151 wins, as
// explicit 2002 and 2003 do.
void includeRuntime(LauncherModel& model, const fs::path& runtimePath, std::ostream& out) {
    for (const auto& file : model.files)
        if (file.name == kRuntimeArchiveName)
            throw PackError(std::string("--runtime and a [[file]] named '") + kRuntimeArchiveName +
                            "' both give the runtime archive");
    RuntimeArchive archive = packRuntimeDirectory(runtimePath);
    out << describeRuntimeArchive(archive.bytes.size(), archive.memberCount, static_cast<int64_t>(archive.tarSize))
        << "\n";
    bool explicitSize = false;
    for (const auto& entry : model.config)
        explicitSize = explicitSize || entry.first == config_entry::kRuntimeArchiveSize;
    if (!explicitSize)
        setConfig(model, config_entry::kRuntimeArchiveSize, std::to_string(archive.tarSize));
    model.files.push_back({kRuntimeArchiveName, std::move(archive.bytes)});
}

int runBuild(const fs::path& stubPath, const fs::path& configPath, const std::optional<fs::path>& runtimePath,
             const fs::path& outPath, const std::string& downloadArchive, std::ostream& out) {
    const auto stub = readFileBytes(stubPath, "stub");
    try {
        endOfLastSection(stub);
    } catch (const PackError& error) {
        throw PackError("stub '" + stubPath.string() + "' is " + error.what());
    }
    // The signature covers the whole file; data packed behind it would break it.
    if (signatureExtent(stub).size != 0)
        throw PackError("stub '" + stubPath.string() + "' is signed: sign the launcher after packing, not the stub");
    LauncherModel model = loadModel(configPath);
    if (!downloadArchive.empty())
        setDownloadChecksum(model, downloadArchive);
    if (runtimePath)
        includeRuntime(model, *runtimePath, out);
    const auto image = buildLauncher(stub, model);
    writeAtomically(outPath, image);
    out << "wrote " << outPath.string() << " (" << image.size() << " bytes)\n";
    return kExitOk;
}

} // namespace

int sldkpackMain(int argc, char** argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"sldkpack: writes, inspects and verifies launcher executables", "sldkpack"};
    app.require_subcommand(1);

    std::string stub, config, output, runtime, inspected, verified, downloadArchive;
    auto* build = app.add_subcommand("build", "append a launcher's data to a stub executable");
    build->add_option("--stub", stub, "the stub executable (a PE file)")->required();
    build->add_option("--config", config, "the launcher's TOML description")->required();
    build->add_option("--out", output, "the launcher to write")->required();
    build->add_option("--download-archive", downloadArchive,
                      "a local copy of the runtime archive at the download URL; its SHA-256 becomes entry 2004");
    auto* runtimeOption = build->add_option("--runtime", runtime, "a runtime directory, included as jre.tar.gz");
    auto* inspect = app.add_subcommand("inspect", "print a launcher's appended data");
    inspect->add_option("launcher", inspected, "the launcher executable")->required();
    auto* verify = app.add_subcommand("verify", "check the magic, the CRC-32 and an included runtime archive");
    verify->add_option("launcher", verified, "the launcher executable")->required();

    // CLI11 reports a misspelt command only as a missing one; name the word instead.
    if (argc > 1 && argv[1][0] != '-' && std::string_view(argv[1]) != "build" &&
        std::string_view(argv[1]) != "inspect" && std::string_view(argv[1]) != "verify") {
        err << "sldkpack: unknown command '" << argv[1] << "' (expected build, inspect or verify)\n";
        return kExitBadInput;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        return code == 0 ? kExitOk : kExitBadInput;
    }

    try {
        if (build->parsed())
            return runBuild(stub, config, runtimeOption->count() ? std::optional<fs::path>(runtime) : std::nullopt,
                            output, downloadArchive, out);
        if (inspect->parsed())
            return runInspect(inspected, out, err);
        return runVerify(verified, out, err);
    } catch (const PackError& error) {
        err << "sldkpack: " << error.what() << "\n";
        return kExitBadInput;
    } catch (const std::exception& error) {
        err << "sldkpack: " << error.what() << "\n";
        return kExitBadInput;
    }
}

} // namespace sldkpack
