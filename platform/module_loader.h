#pragma once
// Loading a module at run time by its platform name and finding its entry points.
// "inetmib1.dll" is our MIB-II agent, libinetmib1.so; any "x.dll" maps to "libx.so".

#include <string>

using HMODULE = void*;
using FARPROC = void (*)();

// Loads the module: a name with '/' is a path taken as it is; any other name is looked up
// in the executable's own folder, then in its install location ../lib/veltran, then on
// the system's library search path (LD_LIBRARY_PATH, then the system's folders); the
// first file found is the one. Returns null when that file is not a regular file holding
// a whole ELF module, or the module or one of its dependencies cannot be loaded.
HMODULE LoadLibraryA(const char* fileName);

// The exported function of that name, or null.
FARPROC GetProcAddress(HMODULE module, const char* procName);

// Drops one reference to the module; nonzero on success.
int FreeLibrary(HMODULE module);

// The file name under which LoadLibraryA looks for a module name ("inetmib1.dll" -> "libinetmib1.so").
std::string moduleFileName(const std::string& fileName);
