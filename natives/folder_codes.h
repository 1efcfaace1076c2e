// The folder codes of FolderInfo.getSpecialFolder0: codes up to 1000 name a shell folder
// (a CSIDL, per user or for all users), codes above 1000 a known folder.
#pragma once

inline constexpr int kLastShellFolderCode = 1000;

// The CSIDL of a code up to 1000; an unknown code names the desktop (0).
inline int shellFolderId(int code, bool allUsers)
{
    struct Pair {
        int currentUser;
        int allUsers;
    };
    static constexpr Pair kFolders[] = {
        {16, 25}, // desktop directory
        {11, 22}, // start menu
        {2, 23},  // programs
        {7, 24},  // startup
        {9, 9},   // send to
        {20, 20}, // fonts
        {26, 35}, // application data
        {5, 46},  // documents
        {21, 45}, // templates
        {6, 31},  // favorites
        {28, 28}, // local application data
    };
    if (code < 1 || code > static_cast<int>(sizeof(kFolders) / sizeof(kFolders[0])))
        return 0;
    const Pair& pair = kFolders[code - 1];
    return allUsers ? pair.allUsers : pair.currentUser;
}

enum class KnownFolder { Downloads, UserProgramFiles, UserProgramFilesCommon, Profile };

// The known folder of a code above 1000; an unknown code names the user's profile.
inline KnownFolder knownFolder(int code)
{
    switch (code) {
    case 1001: return KnownFolder::Downloads;
    case 1002: return KnownFolder::UserProgramFiles;
    case 1003: return KnownFolder::UserProgramFilesCommon;
    default: return KnownFolder::Profile;
    }
}
