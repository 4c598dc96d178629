#include "scan/row_filter.h"

#include "scan/connection_table.h"
#include "scan/options.h"

#include <algorithm>
#include <cctype>

namespace {

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool containsFolded(std::string_view haystack, std::string_view lowerNeedle)
{
    const auto found = std::search(haystack.begin(), haystack.end(), lowerNeedle.begin(), lowerNeedle.end(),
        [](char a, char b) { return lower(a) == b; });
    return found != haystack.end();
}

} // namespace

bool isLoopbackAddress(std::string_view numericAddress)
{
    return numericAddress.starts_with("127.") || numericAddress == "::1";
}

bool isWildcardAddress(std::string_view numericAddress)
{
    return numericAddress == "0.0.0.0" || numericAddress == "::";
}

RowFilter::RowFilter(std::string_view text, bool hideLoopback)
    : m_hideLoopback(hideLoopback)
{
    m_needle.reserve(text.size());
    for (char c : text)
        m_needle.push_back(lower(c));
}

RowFilter RowFilter::fromOptions(const Options& options)
{
    return RowFilter(options.filterText, options.hideLoopback);
}

bool RowFilter::keeps(const ConnectionRow& row) const
{
    if (m_hideLoopback && isLoopbackAddress(row.localAddress))
        return false;
    if (m_needle.empty())
        return true;
    for (const char* field : { row.localHost, row.localPort, row.remoteHost, row.remotePort, row.protocol,
             row.state, row.localAddress, row.remoteAddress }) {
        if (containsFolded(field, m_needle))
            return true;
    }
    return false;
}
