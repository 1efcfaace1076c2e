// The smallest program the loader can start: no C runtime, one import (kernel32).
extern "C" __declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

extern "C" void start() { ExitProcess(0); }
