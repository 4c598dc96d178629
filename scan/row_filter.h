#pragma once
// Which rows a scan keeps: the window's filter text and its "Hide loopback" option.
// Applied before a row takes one of the table's places, so that on a busy machine
// the rows the user looks for are never crowded out by the ones he does not.

#include <string>
#include <string_view>

struct Options;
struct ConnectionRow;

// 127.0.0.0/8 and ::1, as numeric texts.
bool isLoopbackAddress(std::string_view numericAddress);
// 0.0.0.0 and ::, the addresses of a socket open on every interface.
bool isWildcardAddress(std::string_view numericAddress);

class RowFilter
{
public:
    RowFilter(std::string_view text, bool hideLoopback);
    static RowFilter fromOptions(const Options& options);

    // False when every row is kept: the scan then writes rows straight into the table.
    bool active() const { return !m_needle.empty() || m_hideLoopback; }
    // Whether a filled row stays: every text of the row, numeric addresses included,
    // is searched for the filter text, ASCII letters in any case.
    bool keeps(const ConnectionRow& row) const;

private:
    std::string m_needle; // lower case
    bool m_hideLoopback;
};
