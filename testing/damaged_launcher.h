// Launchers with deliberately damaged appended data, for the loader's failure paths.
#pragma once

#include <string>

enum class Damage {
    None,
    BareStub,               // no appended data at all
    WrongMagic,
    CutInsideFirstConfigId, // the file ends inside the first configuration id
    CutInsideConfigValue,   // ... inside the last configuration value
    ConfigLengthMinusOne,   // the last configuration value claims -1 bytes
    ConfigLengthBeyondFile, // ... 0x7FFFFFFF bytes
    MessageLengthMinusOne,  // the last message claims -1 bytes
    MessageLengthOdd,       // ... 3 bytes of UTF-16
    CutInsideLocaleKey,     // the file ends inside the key of the locale block "de"
};

// The damaged launcher directory\damaged.exe (bare.exe for BareStub). Its model: the
// default messages, application kind, product kind "S", entry 1000 = configCaption when
// that is not empty, entry 101 last, and one locale block "de". Empty on failure (the
// test has then failed already).
std::wstring damagedLauncher(const wchar_t* stub, Damage damage, const std::wstring& directory,
                             const std::string& applicationKind = "5", const std::string& configCaption = "");

// What the loader reports for the damage ("Internal Error: readString" ...).
std::wstring expectedLoadError(Damage damage);

// A service launcher (application kind as given) with one included file whose length field
// is cut: "/run" meets the damage when it extracts the payload, after the configuration and
// messages are loaded ("Internal Error: readLong").
std::wstring launcherWithCutPayload(const std::wstring& directory, const std::string& applicationKind);
