// options.dat as anyone may leave it: the reader takes any bytes, and whatever it read
// comes back unchanged from a save of it.

#include "settings/options_file.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

template <typename T> void keep(const std::optional<T>& stored, T& value)
{
    if (stored)
        value = *stored;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    parseWholeNumber(content.substr(0, 40));
    const StoredOptions stored = parseOptions(content);

    Options values;
    long long refreshSeconds = 1;
    keep(stored.refreshSeconds, refreshSeconds);
    keep(stored.showListening, values.showListening);
    keep(stored.showTcp, values.showTcp);
    keep(stored.showUdp, values.showUdp);
    keep(stored.lookupHostNames, values.lookupHostNames);
    keep(stored.lookupPortNames, values.lookupPortNames);
    keep(stored.cacheDns, values.cacheDns);
    keep(stored.logEnabled, values.logEnabled);
    keep(stored.logFileName, values.logFileName);
    const StoredOptions again = parseOptions(formatOptions(refreshSeconds, values));
    if (again.refreshSeconds != refreshSeconds || again.showListening != values.showListening
        || again.showTcp != values.showTcp || again.showUdp != values.showUdp
        || again.lookupHostNames != values.lookupHostNames || again.lookupPortNames != values.lookupPortNames
        || again.cacheDns != values.cacheDns || again.logEnabled != values.logEnabled
        || again.logFileName != values.logFileName)
        __builtin_trap(); // a save would not read back as saved
    return 0;
}
