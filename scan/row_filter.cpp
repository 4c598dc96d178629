#include "scan/row_filter.h"

#include "scan/connection_table.h"
#include "scan/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace {

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool containsFolded(std::string_view haystack, std::string_view lowerNeedle)
{
    const auto found = std::search(haystack.begin(), haystack.end(), lowerNeedle.begin(), lowerNeedle.end(),
        [](char a, char b) { return lower(a) == b; });
    return found != haystack.end();
}

bool equalsFolded(std::string_view text, std::string_view lowerValue)
{
    return text.size() == lowerValue.size() && containsFolded(text, lowerValue);
}

// The value as a whole number when it is one (digits only), else -1.
long long wholeNumber(std::string_view text)
{
    long long value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0 ? value : -1;
}

struct FieldName
{
    std::string_view prefix;
    RowFilter::Field field;
};

constexpr FieldName kFields[] = {
    { "port:", RowFilter::Field::Port },
    { "proc:", RowFilter::Field::Process },
    { "state:", RowFilter::Field::State },
    { "proto:", RowFilter::Field::Protocol },
    { "host:", RowFilter::Field::Host },
    { "family:", RowFilter::Field::Family },
};

bool isIpv6(const ConnectionRow& row)
{
    return std::strchr(row.localAddress, ':') != nullptr;
}

bool hostMatches(const ConnectionRow& row, std::string_view value)
{
    return containsFolded(row.localHost, value) || containsFolded(row.localAddress, value)
        || containsFolded(row.remoteHost, value) || containsFolded(row.remoteAddress, value);
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
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
            ++at;
        std::size_t end = at;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])))
            ++end;
        std::string_view word = text.substr(at, end - at);
        at = end;
        Term term;
        if (word.starts_with('!')) {
            term.negated = true;
            word.remove_prefix(1);
        }
        const std::string folded = lowered(word);
        std::string_view value = folded;
        for (const FieldName& name : kFields) {
            // Only these names make a field: "fe80::1" stays a plain word.
            if (value.starts_with(name.prefix)) {
                term.field = name.field;
                value.remove_prefix(name.prefix.size());
                break;
            }
        }
        if (value.empty())
            continue;
        term.value = std::string(value);
        term.number = wholeNumber(value);
        m_terms.push_back(std::move(term));
    }
}

RowFilter RowFilter::fromOptions(const Options& options)
{
    RowFilter filter(options.filterText, options.hideLoopback);
    filter.m_computer = options.computerName;
    return filter;
}

bool RowFilter::matchesComputer(const Term& term) const
{
    return term.field == Field::Host && !m_computer.empty() && containsFolded(m_computer, term.value);
}

bool RowFilter::matches(const Term& term, const ConnectionRow& row)
{
    const std::string_view value = term.value;
    // Asked only by the fields that need them: the filter runs on every row of a scan.
    const auto portMatches = [&] {
        const bool hasRemote = row.remoteAddress[0] != '\0';
        return term.number >= 0
            ? term.number == row.localPortNumber || (hasRemote && term.number == row.remotePortNumber)
            : equalsFolded(row.localPort, value) || (hasRemote && equalsFolded(row.remotePort, value));
    };
    const auto processMatches = [&] {
        return term.number >= 0 ? row.pid != 0 && term.number == row.pid
                                : containsFolded(row.processName, value);
    };
    switch (term.field) {
    case Field::Port:
        return portMatches();
    case Field::Process:
        return processMatches();
    case Field::State:
        return containsFolded(row.state, value);
    case Field::Protocol:
        return equalsFolded(row.protocol, value);
    case Field::Host:
        return hostMatches(row, value);
    case Field::Family:
        return (value == "6") == isIpv6(row) && (value == "4" || value == "6");
    case Field::Any:
        break;
    }
    if (term.number >= 0) {
        // A number is a port or a pid, or part of an address or a name; never part of
        // another number.
        return portMatches() || processMatches() || hostMatches(row, value);
    }
    return portMatches() || processMatches() || hostMatches(row, value)
        || containsFolded(row.localPort, value) || containsFolded(row.remotePort, value)
        || containsFolded(row.protocol, value) || containsFolded(row.state, value);
}

bool RowFilter::keeps(const ConnectionRow& row) const
{
    if (m_hideLoopback && isLoopbackAddress(row.localAddress))
        return false;
    return std::all_of(m_terms.begin(), m_terms.end(),
        [&](const Term& term) { return (matchesComputer(term) || matches(term, row)) != term.negated; });
}
