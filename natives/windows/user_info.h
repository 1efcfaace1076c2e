// The user-account natives' one replaceable call: how they load the profile library.
#pragma once

#include <windows.h>

// Loads a system library for the profile-directory native (systemLibrary by default). Tests
// put a refusing one in its place to see the native fail softly; the previous lookup is
// returned so that they can put it back.
using ProfileLibraryLookup = HMODULE (*)(const wchar_t* name);
ProfileLibraryLookup replaceProfileLibraryLookup(ProfileLibraryLookup lookup);
