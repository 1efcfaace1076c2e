// A library whose only purpose is its version resource (or the lack of one).
extern "C" __declspec(dllexport) int versionLibraryMarker() { return 0; }
