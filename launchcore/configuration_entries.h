// The ids of the configuration record's entries, for configInt, configValue and configString.
// The packaging tool's friendly names are built on the same constants, so a launcher and the
// tool that packs it cannot disagree on an id.
#pragma once

#include <cstdint>

namespace config_entry {

inline constexpr int32_t kApplicationName = 101; // also the service name
inline constexpr int32_t kRedirectStandardError = 102;
inline constexpr int32_t kStandardErrorFile = 103;
inline constexpr int32_t kRedirectStandardOutput = 104;
inline constexpr int32_t kStandardOutputFile = 105;
inline constexpr int32_t kLauncherFlag = 106; // handed to the Java launcher class as true/false
inline constexpr int32_t kApplicationKind = 107;
inline constexpr int32_t kSplashTextConfiguration = 108;
inline constexpr int32_t kClassPath = 121;
inline constexpr int32_t kMainClass = 122;
inline constexpr int32_t kVmOptions = 123;
inline constexpr int32_t kApplicationArguments = 124;
inline constexpr int32_t kDashJVmOptions = 125; // "-J" arguments are VM options
inline constexpr int32_t kMinimumJavaVersion = 126;
inline constexpr int32_t kMaximumJavaVersion = 127;
inline constexpr int32_t kJvmSearchSequence = 128;
inline constexpr int32_t kAllowPreReleaseJava = 130;
inline constexpr int32_t kJdkRequired = 131;
inline constexpr int32_t kModulePath = 132;
inline constexpr int32_t kMainClassInModule = 133;
inline constexpr int32_t kWorkingDirectory = 146;
inline constexpr int32_t kServiceDependencies = 149;
inline constexpr int32_t kRuntimeDownloadUrl = 150;
inline constexpr int32_t kRuntimeArchiveSize = 151;
inline constexpr int32_t kPreferredVmType = 152;
inline constexpr int32_t kRuntimePack200 = 153;
inline constexpr int32_t kAddDllDirectories = 154;
inline constexpr int32_t kNoProgressWindow = 155;
inline constexpr int32_t kAutoDownloadRuntime = 157;
inline constexpr int32_t kGlobalSingleInstance = 158;
inline constexpr int32_t kNoJavaWindowTimeLimit = 159;
inline constexpr int32_t kInstallationRegistryName = 160;
inline constexpr int32_t kPreferInstalledRuntime = 161;
inline constexpr int32_t kSplashSecondFlag = 163;
inline constexpr int32_t kJvmSearchVariant = 165;
inline constexpr int32_t kReadDefaultVmOptions = 166;

inline constexpr int32_t kProductKind = 2001;
inline constexpr int32_t kIncludedFileCount = 2002;
inline constexpr int32_t kIncludedFileList = 2003;
// SHA-256 of the archive at kRuntimeDownloadUrl as 64 hexadecimal digits; empty = unchecked.
inline constexpr int32_t kRuntimeDownloadSha256 = 2004;

inline constexpr int32_t kRuntimePreferencesDirectory = 10003;
inline constexpr int32_t kNativeLibraryDirectory = 10004;
inline constexpr int32_t kSingleInstance = 10005;
inline constexpr int32_t kBringInstanceToFront = 10007;

inline constexpr int32_t kSplashLine1X = 10109;
inline constexpr int32_t kSplashLine1Y = 10110;
inline constexpr int32_t kSplashLine1Text = 10111;
inline constexpr int32_t kSplashLine1Font = 10112;
inline constexpr int32_t kSplashLine1FontSize = 10113;
inline constexpr int32_t kSplashLine1Color = 10114;
inline constexpr int32_t kSplashLine1FontWeight = 10115;
inline constexpr int32_t kSplashLine2X = 10116;
inline constexpr int32_t kSplashLine2Y = 10117;
inline constexpr int32_t kSplashLine2Text = 10118;
inline constexpr int32_t kSplashLine2Font = 10119;
inline constexpr int32_t kSplashLine2FontSize = 10120;
inline constexpr int32_t kSplashLine2Color = 10121;
inline constexpr int32_t kSplashLine2FontWeight = 10122;

// Line i of the per-version VM options is a version prefix at kFirstVersionPrefix + 2i and
// its option text right after it.
inline constexpr int32_t kVersionOptionLineCount = 10200;
inline constexpr int32_t kFirstVersionPrefix = 10201;

} // namespace config_entry
