#include "platform/module_loader.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

struct HandleCloser
{
    void operator()(void* handle) const { dlclose(handle); }
};

// The folders of the system's library search path in the order the dynamic loader tries
// them (LD_LIBRARY_PATH, then the system's own folders), as the loader itself reports them.
// Folders known to ld.so.cache alone are left out: a file is checked before dlopen sees it,
// so the loader's own search, which would take an unchecked file, is never used.
std::vector<std::string> systemSearchPath()
{
    std::vector<std::string> folders;
    void* self = dlopen(nullptr, RTLD_NOW);
    if (!self)
        return folders;
    const std::unique_ptr<void, HandleCloser> selfHandle(self);
    Dl_serinfo size {};
    if (dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0)
        return folders;
    const std::unique_ptr<Dl_serinfo, decltype(&std::free)> info(
        static_cast<Dl_serinfo*>(std::malloc(size.dls_size)), &std::free);
    if (!info)
        return folders;
    *info = size;
    if (dlinfo(self, RTLD_DI_SERINFOSIZE, info.get()) != 0 || dlinfo(self, RTLD_DI_SERINFO, info.get()) != 0)
        return folders;
    for (unsigned int i = 0; i < info->dls_cnt; ++i)
        folders.emplace_back(info->dls_serpath[i].dls_name);
    return folders;
}

// dlopen maps a module's segments whatever the file's length, and touching a page past
// the end of a truncated file raises SIGBUS: only a regular file that holds its ELF
// header, its program headers and every segment's bytes is handed to it.
bool holdsWholeModule(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return false;
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    ElfW(Ehdr) header {};
    if (fileSize < sizeof header
        || pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
        return false;
    constexpr unsigned char nativeClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    constexpr unsigned char nativeData
        = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != nativeClass
        || header.e_ident[EI_DATA] != nativeData || header.e_type != ET_DYN
        || header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0)
        return false;
    const std::uint64_t tableSize = std::uint64_t { header.e_phnum } * sizeof(ElfW(Phdr));
    if (header.e_phoff > fileSize || tableSize > fileSize - header.e_phoff)
        return false;
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    if (pread(fd, segments.data(), tableSize, static_cast<off_t>(header.e_phoff))
        != static_cast<ssize_t>(tableSize))
        return false;
    for (const ElfW(Phdr) & segment : segments) {
        if (segment.p_offset > fileSize || segment.p_filesz > fileSize - segment.p_offset)
            return false;
    }
    return true;
}

HMODULE loadChecked(const std::string& path)
{
    // Non-blocking, so a FIFO in the module's place cannot hold the program.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    const bool whole = holdsWholeModule(fd);
    close(fd);
    return whole ? dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
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
    if (name.find('/') != std::string::npos)
        return loadChecked(name);
    // The program's own folders come first, so that no module of the same name earlier on
    // the library search path can stand in for its own.
    std::vector<std::string> folders;
    if (const std::string own = executableFolder(); !own.empty()) {
        folders.push_back(own);
        folders.push_back(own + "/../lib/veltran");
    }
    for (std::string& folder : systemSearchPath())
        folders.push_back(std::move(folder));
    // The first file found decides: one that is not a whole module fails the load.
    for (const std::string& folder : folders) {
        const std::string path = folder + '/' + name;
        if (access(path.c_str(), F_OK) == 0)
            return loadChecked(path);
    }
    return nullptr;
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
