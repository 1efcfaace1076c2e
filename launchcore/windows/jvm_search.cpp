#include "launchcore/windows/jvm_search.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "launchcore/configuration.h"
#include "launchcore/configuration_entries.h"
#include "launchcore/java_version_text.h"
#include "launchcore/text.h"
#include "launchcore/windows/messages/message_texts.h"
#include "launchcore/windows/log/diagnostic_log.h"
#include "launchcore/windows/base/handles.h"
#include "launchcore/windows/java_version_query.h"
#include "launchcore/windows/jvm_library.h"
#include "launchcore/windows/state/launcher_state.h"
#include "launchcore/windows/pack200.h"
#include "launchcore/windows/process_paths.h"
#include "launchcore/windows/base/registry.h"
#include "launchcore/windows/base/system_text.h"
#include "launchcore/windows/log/temporary_directory.h"
#include "launchcore/windows/variable_expansion.h"

namespace {

constexpr size_t kRegistryTextCapacity = 6000;
constexpr size_t kCurrentVersionCapacity = 100;
constexpr size_t kLocationLineCapacity = 6000;
constexpr const char* kInstallationsKey = "SOFTWARE\\brenmark\\sealdeck\\installations";

struct Bounds {
    VersionVector minimum;
    VersionVector maximum;
};

struct Candidate {
    std::string javaExe;
    std::string version;
};

bool jdkOnly() { return configInt(config_entry::kJdkRequired) != 0; }

bool passesInPrefixMode(const std::string& version, const Bounds& bounds)
{
    const VersionVector parsed = parseVersion(version);
    return versionWithinBound(bounds.minimum, parsed, false, true) &&
           versionWithinBound(bounds.maximum, parsed, true, true);
}

std::string fileBytes(HANDLE file, size_t limit)
{
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (bytes.size() < limit && ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

std::string firstLineOfFile(const unique_file& file)
{
    if (!file)
        return {};
    return firstLineOf(fileBytes(file.get(), kLocationLineCapacity), kLocationLineCapacity);
}

std::wstring applicationDirectoryWide()
{
    std::wstring directory = fullPath(configStringWide(config_entry::kRuntimePreferencesDirectory), false, true);
    while (!directory.empty() && directory.back() == L'\\')
        directory.pop_back();
    return directory;
}

std::string locationFileLine(const wchar_t* name)
{
    const std::wstring path = applicationDirectoryWide() + L"\\.sealdeck\\" + name;
    return firstLineOfFile(unique_file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

std::string extractionLocationLine()
{
    const std::string& directory = extractionDirectory();
    // Without an extraction directory the name would point at the current drive's root.
    if (directory.empty())
        return {};
    const std::string path = directory + "\\inst_jre.cfg";
    return firstLineOfFile(unique_file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

bool checkEnvironment(const char* name, Candidate& found, const Bounds& bounds)
{
    std::optional<std::string> home = environmentVariable(name);
    if (!home || home->empty())
        return false;
    std::replace(home->begin(), home->end(), '/', '\\');
    return javaExeForHome(found.javaExe, *home) &&
           checkJavaExe(found.javaExe, found.version, bounds.minimum, bounds.maximum, false, true);
}

bool checkSearchPath(Candidate& found, const Bounds& bounds)
{
    // Only the directories of PATH: the default order would also take a java.exe planted
    // beside the launcher or in the current directory.
    const std::optional<std::string> path = environmentVariable("PATH");
    if (!path || path->empty())
        return false;
    std::vector<char> buffer(6000);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = SearchPathA(path->c_str(), "java.exe", nullptr, size, buffer.data(), nullptr);
        if (length == 0)
            return false;
        if (length < size) {
            found.javaExe.assign(buffer.data(), length);
            break;
        }
        if (size > 32767)
            return false;
        buffer.resize(length + 1);
    }
    return checkJavaExe(found.javaExe, found.version, bounds.minimum, bounds.maximum, false, true);
}

bool checkHome(const std::string& home, Candidate& found, const Bounds& bounds, bool allowBeta)
{
    return javaExeForHome(found.javaExe, home) &&
           checkJavaExe(found.javaExe, found.version, bounds.minimum, bounds.maximum, allowBeta, true);
}

std::string filteredCurrentVersion(const char* key, const Bounds& bounds)
{
    std::string version;
    if (!readRegString(HKEY_LOCAL_MACHINE, key, "CurrentVersion", KEY_READ, kCurrentVersionCapacity, version) ||
        !passesInPrefixMode(version, bounds))
        return {};
    return version;
}

bool currentVersionMethod(const char* jdkKey, const char* jreKey, Candidate& found, const Bounds& bounds)
{
    const std::string jdkVersion = filteredCurrentVersion(jdkKey, bounds);
    const std::string jreVersion = jdkOnly() ? std::string() : filteredCurrentVersion(jreKey, bounds);
    const bool useJdk = versionGreater(jdkVersion, jreVersion);
    const std::string& version = useJdk ? jdkVersion : jreVersion;
    // An empty name would open the parent key itself.
    if (version.empty())
        return false;
    std::string home;
    if (!readRegString(HKEY_LOCAL_MACHINE, std::string(useJdk ? jdkKey : jreKey) + "\\" + version, "JavaHome",
                       KEY_READ, kRegistryTextCapacity, home))
        return false;
    return checkHome(home, found, bounds, false);
}

std::vector<std::string> subkeyNames(HKEY key)
{
    std::vector<std::string> names;
    std::vector<char> name(kRegistryTextCapacity);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG status = RegEnumKeyExA(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_SUCCESS)
            names.emplace_back(name.data(), length);
        else if (status != ERROR_MORE_DATA)
            break;
    }
    return names;
}

bool enumerationMethod(const char* keyName, Candidate& found, const Bounds& bounds)
{
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    std::vector<std::string> passing;
    for (std::string& name : subkeyNames(key.get()))
        if (passesInPrefixMode(name, bounds))
            passing.push_back(std::move(name));
    for (const std::string& name : registryTrialOrder(std::move(passing))) {
        std::string home;
        if (readRegString(key.get(), name, "JavaHome", KEY_READ, kRegistryTextCapacity, home) &&
            checkHome(home, found, bounds, false))
            return true;
    }
    return false;
}

bool javaSoftSearch(Candidate& found, const Bounds& bounds)
{
    if (currentVersionMethod("SOFTWARE\\JavaSoft\\JDK", "SOFTWARE\\JavaSoft\\JRE", found, bounds))
        return true;
    if (!jdkOnly() && enumerationMethod("SOFTWARE\\JavaSoft\\JRE", found, bounds))
        return true;
    if (enumerationMethod("SOFTWARE\\JavaSoft\\JDK", found, bounds))
        return true;
    if (currentVersionMethod("SOFTWARE\\JavaSoft\\Java Development Kit", "SOFTWARE\\JavaSoft\\Java Runtime Environment",
                             found, bounds))
        return true;
    if (!jdkOnly() && enumerationMethod("SOFTWARE\\JavaSoft\\Java Runtime Environment", found, bounds))
        return true;
    return enumerationMethod("SOFTWARE\\JavaSoft\\Java Development Kit", found, bounds);
}

std::optional<Candidate> bestLocatedIn(HKEY root, bool acceptAll, const Bounds& bounds)
{
    unique_hkey key;
    if (RegOpenKeyExA(root, kLocatedJvmsKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<Candidate> best;
    for (const std::string& name : subkeyNames(key.get())) {
        Candidate candidate{locatedJvmPath(name), {}};
        if (!acceptAll && candidate.javaExe.find("sldk_jres") == std::string::npos)
            continue;
        if (checkJavaExe(candidate.javaExe, candidate.version, bounds.minimum, bounds.maximum, true, true) &&
            (!best || versionGreater(candidate.version, best->version)))
            best = std::move(candidate);
    }
    return best;
}

std::optional<Candidate> locatedSearch(bool acceptAll, const Bounds& bounds)
{
    std::optional<Candidate> user = bestLocatedIn(HKEY_CURRENT_USER, acceptAll, bounds);
    std::optional<Candidate> machine = bestLocatedIn(HKEY_LOCAL_MACHINE, acceptAll, bounds);
    if (user && machine)
        return versionGreater(user->version, machine->version) ? user : machine;
    return user ? user : machine;
}

// The JavaSoft and located searches each write through checkJavaExe, so each gets its own
// candidate; only the winner reaches the caller.
bool registrySearch(JvmSearchResult& result, const Bounds& bounds)
{
    const bool restricted = configInt(config_entry::kJvmSearchVariant) != 0;
    std::optional<Candidate> javaSoft;
    if (!restricted) {
        Candidate candidate;
        if (javaSoftSearch(candidate, bounds)) {
            logLine(L"found sun %S %S", candidate.javaExe.c_str(), candidate.version.c_str());
            javaSoft = std::move(candidate);
        }
    }
    std::optional<Candidate> located = locatedSearch(!restricted, bounds);
    if (located)
        logLine(L"found located %S %S", located->javaExe.c_str(), located->version.c_str());
    std::optional<Candidate> chosen;
    if (javaSoft && located)
        chosen = versionGreater(javaSoft->version, located->version) ? javaSoft : located;
    else
        chosen = javaSoft ? javaSoft : located;
    if (!chosen)
        return false;
    result.javaExe = chosen->javaExe;
    result.version = chosen->version;
    return true;
}

bool previousInstallationWithAccess(HKEY root, REGSAM extraAccess, Candidate& found, const Bounds& bounds)
{
    const std::string appId = configStringCopy(config_entry::kInstallationRegistryName);
    logLine(L"checking app id %S (%d, %p)", appId.c_str(), static_cast<int>(extraAccess), static_cast<void*>(root));
    if (appId.empty())
        return false;
    unique_hkey key;
    const LONG opened = RegOpenKeyExA(root, kInstallationsKey, 0, KEY_READ | extraAccess, key.put());
    if (opened != ERROR_SUCCESS) {
        logLine(L"could not open installation node %d", static_cast<int>(opened));
        return false;
    }
    std::string installations;
    if (!readRegString(key.get(), "", appId, KEY_READ | extraAccess, kRegistryTextCapacity, installations) ||
        installations.empty()) {
        logLine(L"could not query value node %d", 0);
        return false;
    }
    logLine(L"found installations: %S", installations.c_str());
    for (const std::string& directory : splitSkippingEmpty(installations, ';')) {
        const std::string home = directory + "\\jre";
        if (!javaExeForHome(found.javaExe, home)) {
            logLine(L"did not find java in %S", home.c_str());
            continue;
        }
        if (checkJavaExe(found.javaExe, found.version, bounds.minimum, bounds.maximum, false, true))
            return true;
        logLine(L"java version did not match in %S", home.c_str());
    }
    return false;
}

bool previousInstallation(HKEY root, Candidate& found, const Bounds& bounds)
{
    return previousInstallationWithAccess(root, 0, found, bounds) ||
           previousInstallationWithAccess(root, KEY_WOW64_64KEY, found, bounds);
}

// One walk over the places a runtime may be; every step returns true when it ends the search.
class Search {
public:
    explicit Search(const Bounds& bounds) : bounds_(bounds) {}

    JvmSearchResult& result() { return result_; }

    // A runtime directory named by the first line of a location file.
    bool locationFile(const std::string& directory, const wchar_t* hasLine, const wchar_t* usingLine)
    {
        if (directory.empty())
            return false;
        logLine(hasLine, directory.c_str());
        if (!checkDirectory(directory, false))
            return false;
        logLine(usingLine);
        return load(JvmLocationKind::Directory, &directory);
    }

    bool sequenceEntry(const SearchEntry& entry)
    {
        std::string text = entry.text;
        expandLauncherVariables(text);
        logLine(L"Testing location %S (type %c)", text.c_str(),
                static_cast<wchar_t>(static_cast<unsigned char>(entry.letter)));
        switch (entry.letter) {
        case 'A':
        case 'B':
        case 'R':
            return checkDirectory(text, false) && load(JvmLocationKind::Directory, &text);
        case 'E':
            return check([&](Candidate& found) { return checkEnvironment(text.c_str(), found, bounds_); }) &&
                   load(JvmLocationKind::EnvironmentVariable, &text);
        case 'S':
            return check([&](Candidate& found) { return checkSearchPath(found, bounds_); }) &&
                   load(JvmLocationKind::SearchPath, &text);
        case 'Y':
            return registrySearch(result_, bounds_) && load(JvmLocationKind::Registry, nullptr);
        default:
            return false;
        }
    }

    // The second pass takes a directory entry whose java executable merely exists.
    bool fallbackEntry(const SearchEntry& entry)
    {
        if (entry.letter != 'A' && entry.letter != 'B' && entry.letter != 'R')
            return false;
        // A runtime shipped beside the application (B) is taken wherever it is.
        if (entry.letter != 'B' && isFallbackAbsolutePath(entry.text))
            return false;
        logLine(L"Testing relative location %S", entry.text.c_str());
        checkDirectory(entry.text, true);
        if (!pathExists(result_.javaExe))
            return false;
        logLine(L"%S exists", result_.javaExe.c_str());
        return load(JvmLocationKind::Directory, &entry.text);
    }

    bool previousInstallationIn(HKEY root, const wchar_t* foundLine)
    {
        if (!check([&](Candidate& found) { return previousInstallation(root, found, bounds_); }))
            return false;
        logLine(foundLine, result_.javaExe.c_str());
        return load(JvmLocationKind::Registry, nullptr);
    }

    bool environmentHome(const std::string& variable)
    {
        return check([&](Candidate& found) { return checkEnvironment(variable.c_str(), found, bounds_); }) &&
               load(JvmLocationKind::EnvironmentVariable, &variable);
    }

private:
    // Records where the runtime was found and tries its VM library; true ends the search.
    bool load(JvmLocationKind kind, const std::string* locationText)
    {
        result_.locationKind = kind;
        if (locationText)
            result_.locationText = *locationText;
        result_.library = loadJvmLibrary(result_.javaExe);
        return result_.library.module != nullptr;
    }

    bool checkDirectory(const std::string& text, bool acceptAnyway)
    {
        return checkRuntimeDirectory(result_.javaExe, result_.version, text, bounds_.minimum, bounds_.maximum,
                                     acceptAnyway);
    }

    // A check starts from the current results and writes back whatever it left, so one
    // that writes nothing leaves them as they are.
    template <typename Check>
    bool check(Check&& runCheck)
    {
        Candidate found{result_.javaExe, result_.version};
        const bool passed = runCheck(found);
        result_.javaExe = std::move(found.javaExe);
        result_.version = std::move(found.version);
        return passed;
    }

    JvmSearchResult result_;
    const Bounds& bounds_;
};

bool runSearch(Search& search, const std::vector<SearchEntry>& entries)
{
    if (search.locationFile(locationFileLine(L"pref_jre.cfg"), L"Has preferred location %S",
                            L"Using preferred location"))
        return true;
    if (launcherProgram() == LauncherProgram::Setup &&
        search.locationFile(extractionLocationLine(), L"Has installer location %S", L"Using preferred location"))
        return true;
    for (const SearchEntry& entry : entries)
        if (search.sequenceEntry(entry))
            return true;
    if (search.locationFile(locationFileLine(L"inst_jre.cfg"), L"Has installer location %S",
                            L"Using installer location"))
        return true;
    for (const SearchEntry& entry : entries)
        if (search.fallbackEntry(entry))
            return true;
    if (search.previousInstallationIn(HKEY_CURRENT_USER, L"found JRE from previous installation (user) %S") ||
        search.previousInstallationIn(HKEY_LOCAL_MACHINE, L"found JRE from previous installation (machine) %S"))
        return true;
    logLine(L"Search sequence finished");
    return search.environmentHome("VEXON_JAVA_HOME") || search.environmentHome("SEALDECK_JAVA_HOME");
}

} // namespace

JvmSearchResult findJvm()
{
    logLine(L"Searching for a JVM");
    const std::string sequence = configStringCopy(config_entry::kJvmSearchSequence);
    const std::string minimumText = configStringCopy(config_entry::kMinimumJavaVersion);
    const std::string maximumText = configStringCopy(config_entry::kMaximumJavaVersion);
    logLine(L"MinVersion: %S, MaxVersion: %S", minimumText.c_str(), maximumText.c_str());
    const Bounds bounds{parseVersion(minimumText), parseVersion(maximumText)};
    Search search(bounds);
    runSearch(search, splitSearchSequence(sequence));
    return std::move(search.result());
}

bool checkJavaExe(std::string& javaExe, std::string& version, const VersionVector& minimum,
                  const VersionVector& maximum, bool allowBeta, bool useCache)
{
    logLine(L"checkJavaExe (%S, [out], %d, %d, %d)", javaExe.c_str(), static_cast<int>(minimum.size()),
            static_cast<int>(maximum.size()), allowBeta ? 1 : 0);
    const std::string normalised = fullPath(javaExe, false);
    if (!normalised.empty())
        javaExe = normalised;

    bool accepted = false;
    FILETIME lastWrite{};
    if (!pathExists(javaExe, lastWrite)) {
        logLine(L"file doesn't exist");
    } else {
        logLine(L"file exists");
        version.clear();
        bool known = false;
        std::string cached;
        if (useCache && readCachedVersion(javaExe, lastWrite, cached) && cached != "1.0.0") {
            version = cached;
            logLine(L"got version from registry %S", version.c_str());
            known = true;
        } else if (queryJavaVersion(javaExe, lastWrite, version)) {
            logLine(L"got version from execution %S", version.c_str());
            writeCachedVersion(javaExe, lastWrite, version);
            known = true;
        } else {
            logLine(L"couldn't get version");
        }
        if (known) {
            if (!allowBeta && configInt(config_entry::kAllowPreReleaseJava) == 0 && isPreReleaseVersion(version)) {
                logLine(L"beta vm not allowed");
            } else {
                const VersionVector parsed = parseVersion(version);
                accepted = versionWithinBound(minimum, parsed, false, false) &&
                           versionWithinBound(maximum, parsed, true, false);
            }
            if (accepted && configInt(config_entry::kApplicationKind) == 1) {
                javaExe = windowedJavaExe(javaExe);
                accepted = pathExists(javaExe);
            }
        }
    }
    logLine(L"checkJavaExe returning %d", accepted ? 1 : 0);
    return accepted;
}

bool checkRuntimeDirectory(std::string& javaExe, std::string& version, const std::string& directory,
                           const VersionVector& minimum, const VersionVector& maximum, bool acceptAnyway)
{
    std::string home = fullPath(directory, false);
    if (home.empty())
        home = directory;
    else
        unpackJarPacks(home);
    const bool passed =
        javaExeForHome(javaExe, home) && checkJavaExe(javaExe, version, minimum, maximum, true, true);
    return passed || acceptAnyway;
}

bool javaExeForHome(std::string& javaExe, const std::string& home)
{
    javaExe = home + "\\jre\\bin\\java.exe";
    if (jdkOnly())
        return pathExists(home + "\\lib\\tools.jar");
    if (!pathExists(javaExe))
        javaExe = home + "\\bin\\java.exe";
    return true;
}

void registerLocatedJvm(const std::string& javaExe)
{
    const std::string name = locatedJvmKey(javaExe);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        unique_hkey key;
        if (RegCreateKeyExA(root, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) ==
            ERROR_SUCCESS)
            return;
    }
}
