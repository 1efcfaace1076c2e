// Loads a library by its bare name with the default search order, as careless code would:
// the planting tests' proof that a planted library beside a program does get loaded.
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    return argc == 2 && LoadLibraryW(argv[1]) ? 0 : 1;
}
