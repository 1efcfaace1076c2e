// The TOML description of a launcher, turned into the writer's model.
#include "tools/sldkpack/cli/cli.h"

#include "launchcore/configuration_entries.h"
#include "launchcore/text.h"
#include "setuplauncher/download_checksum.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

namespace sldkpack {
namespace {

namespace fs = std::filesystem;

std::string where(const toml::source_region& region) {
    if (!region.begin)
        return std::string();
    return " (line " + std::to_string(region.begin.line) + ")";
}

// toml++ keeps tables sorted by key; the launcher applies locale blocks in file order, and
// a record written in file order is what the author expects to see in `inspect`.
std::vector<std::pair<const toml::key*, const toml::node*>> inFileOrder(const toml::table& table) {
    std::vector<std::pair<const toml::key*, const toml::node*>> entries;
    for (const auto& [key, node] : table)
        entries.emplace_back(&key, &node);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        const auto& pa = a.first->source().begin;
        const auto& pb = b.first->source().begin;
        return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
    });
    return entries;
}

bool startsLikeNumber(std::string_view text) {
    return !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' || text[0] == '+');
}

// Decimal ids only: 0 to 2^31-1, the range the launcher's signed table keys hold.
int32_t parseId(std::string_view text, const std::string& what, const toml::source_region& region) {
    bool ok = !text.empty() && text.size() <= 10;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            ok = false;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (!ok || value > INT32_MAX)
        throw PackError(what + " id '" + std::string(text) + "' is not a number" + where(region));
    return static_cast<int32_t>(value);
}

std::string eightBit(std::string_view utf8, const std::string& what, const toml::source_region& region) {
    auto bytes = utf8ToWindows1252(utf8);
    if (!bytes)
        throw PackError(what + " has characters that Windows-1252 cannot represent" + where(region));
    return std::move(*bytes);
}

std::string configValue(const toml::node& node, const std::string& what) {
    if (const auto* text = node.as_string())
        return eightBit(text->get(), what, node.source());
    if (const auto* number = node.as_integer())
        return std::to_string(number->get());
    if (const auto* flag = node.as_boolean())
        return flag->get() ? "1" : "0";
    throw PackError(what + " must be a string, an integer or a boolean" + where(node.source()));
}

void readConfig(const toml::table& table, LauncherModel& model) {
    std::map<int32_t, std::string> seenAs;
    for (const auto& [key, node] : inFileOrder(table)) {
        const std::string name(key->str());
        int32_t id;
        if (startsLikeNumber(name)) {
            id = parseId(name, "configuration", key->source());
        } else {
            id = configIdForName(name);
            if (id < 0)
                throw PackError("unknown configuration name '" + name + "'" + where(key->source()));
        }
        if (auto seen = seenAs.find(id); seen != seenAs.end())
            throw PackError("configuration entry " + std::to_string(id) + " is given twice ('" + seen->second +
                            "' and '" + name + "')" + where(key->source()));
        seenAs.emplace(id, name);
        std::string value = configValue(*node, "configuration entry " + std::to_string(id));
        // The launcher would ignore a malformed checksum and download unchecked.
        if (id == config_entry::kRuntimeDownloadSha256 && !value.empty() && !parseSha256Text(value))
            throw PackError("configuration entry 2004 (runtime-download-sha256) must be 64 hexadecimal digits" +
                            where(node->source()));
        model.config.emplace_back(id, std::move(value));
    }
}

std::u16string messageText(const toml::node& node, const std::string& what) {
    const auto* text = node.as_string();
    if (!text)
        throw PackError(what + " must be a string" + where(node.source()));
    return fromUtf8(text->get());
}

void readMessages(const toml::table& table, LauncherModel& model) {
    for (const auto& [key, node] : inFileOrder(table)) {
        const std::string name(key->str());
        if (const auto* block = node->as_table()) {
            MessageBlock locale;
            locale.key = eightBit(name, "locale key '" + name + "'", key->source());
            for (const auto& [entryKey, entry] : inFileOrder(*block)) {
                const std::string entryName(entryKey->str());
                const int32_t id = parseId(entryName, "message", entryKey->source());
                setMessage(locale.entries, id,
                           messageText(*entry, "message " + entryName + " of locale '" + name + "'"));
            }
            model.localeBlocks.push_back(std::move(locale));
            continue;
        }
        const int32_t id = parseId(name, "message", key->source());
        setMessage(model.messages, id, messageText(*node, "message " + name));
    }
}

std::string requiredString(const toml::table& table, const char* field, const std::string& what) {
    const auto* node = table.get(field);
    if (!node)
        throw PackError(what + " has no '" + field + "'" + where(table.source()));
    const auto* text = node->as_string();
    if (!text)
        throw PackError(what + " '" + field + "' must be a string" + where(node->source()));
    return text->get();
}

fs::path resolve(const fs::path& base, const std::string& utf8Path) {
    const fs::path path(utf8Path); // Linux paths are UTF-8 bytes already
    return path.is_absolute() ? path : base / path;
}

void readFiles(const toml::node& node, const fs::path& base, LauncherModel& model) {
    const auto* array = node.as_array();
    if (!array)
        throw PackError("'file' must be written as [[file]] tables" + where(node.source()));
    std::set<std::string> names;
    int index = 0;
    for (const auto& element : *array) {
        ++index;
        const auto* table = element.as_table();
        const std::string what = "[[file]] number " + std::to_string(index);
        if (!table)
            throw PackError(what + " is not a table" + where(element.source()));
        for (const auto& [key, value] : *table)
            if (key.str() != "name" && key.str() != "path")
                throw PackError(what + " has an unknown key '" + std::string(key.str()) + "'" + where(key.source()));
        IncludedFile file;
        const std::string name = requiredString(*table, "name", what);
        file.name = eightBit(name, what + " name '" + name + "'", table->source());
        // The launcher splits entry 2003 at ';' and skips empty names, so neither can round-trip.
        if (file.name.empty() || file.name.find(';') != std::string::npos)
            throw PackError(what + " name '" + name + "' is empty or contains ';'" + where(table->source()));
        if (!names.insert(file.name).second)
            throw PackError(what + " name '" + name + "' is used twice" + where(table->source()));
        file.bytes = readFileBytes(resolve(base, requiredString(*table, "path", what)), "included file '" + name + "'");
        model.files.push_back(std::move(file));
    }
}

} // namespace

std::vector<uint8_t> readFileBytes(const fs::path& path, const std::string& what) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw PackError("cannot read " + what + " '" + path.string() + "': it is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PackError("cannot read " + what + " '" + path.string() + "': " + std::generic_category().message(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw PackError("cannot read " + what + " '" + path.string() + "': read error");
    return bytes;
}

LauncherModel loadModel(const fs::path& tomlFile) {
    const auto text = readFileBytes(tomlFile, "configuration");
    toml::table root;
    try {
        root = toml::parse(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                           tomlFile.string());
    } catch (const toml::parse_error& error) {
        std::ostringstream message;
        message << "'" << tomlFile.string() << "' is not valid TOML: " << error.description() << " (line "
                << error.source().begin.line << ")";
        throw PackError(message.str());
    }
    const fs::path base = tomlFile.has_parent_path() ? tomlFile.parent_path() : fs::path(".");

    LauncherModel model;
    model.messages = defaultMessages();
    for (const auto& [key, node] : root) {
        const std::string_view name = key.str();
        if (name == "integrity-check") {
            if (const auto* flag = node.as_boolean())
                model.integrityCheck = flag->get();
            else if (const auto* number = node.as_integer())
                model.integrityCheck = number->get() != 0;
            else
                throw PackError("'integrity-check' must be a boolean" + where(node.source()));
        } else if (name == "config" || name == "messages" || name == "trailer") {
            if (!node.is_table())
                throw PackError("'" + std::string(name) + "' must be a table" + where(node.source()));
        } else if (name != "file") {
            throw PackError("unknown key '" + std::string(name) + "'" + where(key.source()));
        }
    }
    if (const auto* config = root["config"].as_table())
        readConfig(*config, model);
    if (const auto* messages = root["messages"].as_table())
        readMessages(*messages, model);
    if (const auto* files = root.get("file"))
        readFiles(*files, base, model);
    if (const auto* trailer = root["trailer"].as_table()) {
        for (const auto& [key, value] : *trailer)
            if (key.str() != "path")
                throw PackError("[trailer] has an unknown key '" + std::string(key.str()) + "'" + where(key.source()));
        if (trailer->contains("path"))
            model.trailer = readFileBytes(resolve(base, requiredString(*trailer, "path", "[trailer]")), "trailer");
    }
    return model;
}

} // namespace sldkpack
