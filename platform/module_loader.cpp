#include "platform/module_loader.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

std::string mappedName(const char* fileName)
{
    std::string name(fileName);
    if (name.find('/') != std::string::npos)
        return name;
    // Module names are case-insensitive on the platform; our files are lower case.
    constexpr std::string_view suffix = ".dll";
    if (name.size() > suffix.size()) {
        std::string lower = name;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower.ends_with(suffix))
            return "lib" + lower.substr(0, lower.size() - suffix.size()) + ".so";
    }
    return name;
}

std::string executableFolder()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0)
        return {};
    const std::string exe(path, static_cast<size_t>(length));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

} // namespace

std::string moduleFileName(const std::string& fileName)
{
    return mappedName(fileName.c_str());
}

HMODULE LoadLibraryA(const char* fileName)
{
    if (!fileName || !*fileName)
        return nullptr;
    const std::string name = mappedName(fileName);
    constexpr int flags = RTLD_NOW | RTLD_LOCAL;
    if (HMODULE module = dlopen(name.c_str(), flags))
        return module;
    if (name.find('/') != std::string::npos)
        return nullptr;
    // The build tree carries the agent beside the programs; an installation in
    // lib/veltran/ beside bin/. Both are outside the search path.
    const std::string folder = executableFolder();
    if (folder.empty())
        return nullptr;
    if (HMODULE module = dlopen((folder + '/' + name).c_str(), flags))
        return module;
    return dlopen((folder + "/../lib/veltran/" + name).c_str(), flags);
}

FARPROC GetProcAddress(HMODULE module, const char* procName)
{
    if (!module || !procName)
        return nullptr;
    // POSIX guarantees that a dlsym result for a function converts to a function pointer.
    return reinterpret_cast<FARPROC>(dlsym(module, procName));
}

int FreeLibrary(HMODULE module)
{
    return module && dlclose(module) == 0 ? 1 : 0;
}
