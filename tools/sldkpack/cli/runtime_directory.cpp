// `build --runtime DIR`: a runtime directory walked into the included runtime archive.
#include "tools/sldkpack/cli/cli.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace sldkpack {
namespace {

namespace fs = std::filesystem;

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// One directory's entries by name, in byte order, so the same tree always packs the same.
std::vector<fs::directory_entry> sortedEntries(const fs::path& directory) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec)
        throw PackError("cannot list '" + directory.string() + "': " + ec.message());
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename().string() < b.path().filename().string();
    });
    return entries;
}

// shownPrefix is the relative path as the user typed it (UTF-8), memberPrefix the same as
// written into the archive (Windows-1252, the launcher's 8-bit text).
void packDirectory(const fs::path& directory, const std::string& shownPrefix, const std::string& memberPrefix,
                   RuntimeArchiveWriter& writer) {
    // Windows folds case: two names that differ only in it would become one file.
    std::map<std::string, std::string> seenFolded;
    for (const auto& entry : sortedEntries(directory)) {
        const std::string utf8Name = entry.path().filename().string();
        const std::string shown = shownPrefix + utf8Name;
        const auto name = utf8ToWindows1252(utf8Name);
        if (!name)
            throw PackError("runtime file '" + shown + "' has a name that Windows-1252 cannot represent");
        if (auto [seen, fresh] = seenFolded.emplace(lowerAscii(*name), utf8Name); !fresh)
            throw PackError("runtime files '" + shownPrefix + seen->second + "' and '" + shown +
                            "' differ only in case; Windows would make them one file");
        const std::string member = memberPrefix + *name;

        std::error_code ec;
        const fs::file_status status = entry.symlink_status(ec);
        if (ec)
            throw PackError("cannot read runtime file '" + shown + "': " + ec.message());
        // The launcher's untar creates directories and files only, so a link would be lost.
        if (fs::is_symlink(status))
            throw PackError("runtime file '" + shown + "' is a symbolic link; copy what it points to instead");
        if (fs::is_directory(status)) {
            writer.addDirectory(member);
            packDirectory(entry.path(), shown + "/", member + "/", writer);
        } else if (fs::is_regular_file(status)) {
            const auto executableBits = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
            writer.addFile(member, readFileBytes(entry.path(), "runtime file"),
                           (status.permissions() & executableBits) != fs::perms::none);
        } else {
            throw PackError("runtime file '" + shown + "' is neither a regular file nor a directory");
        }
    }
}

} // namespace

RuntimeArchive packRuntimeDirectory(const fs::path& directory) {
    std::error_code ec;
    const fs::file_status status = fs::status(directory, ec);
    if (!fs::exists(status))
        throw PackError("runtime directory '" + directory.string() + "' does not exist");
    if (!fs::is_directory(status))
        throw PackError("runtime directory '" + directory.string() + "' is not a directory");
    RuntimeArchiveWriter writer;
    try {
        packDirectory(directory, "", "", writer);
        return writer.finish();
    } catch (const PackError& error) {
        throw PackError("runtime directory '" + directory.string() + "': " + error.what());
    }
}

} // namespace sldkpack
