#pragma once
// Which rows a view keeps: the window's filter text and its "Hide loopback" option.
// Applied before a row takes one of the table's places, so that on a busy machine
// the rows the user looks for are never crowded out by the ones he does not.
//
// The text is words separated by blanks, and a row must match every one:
//   a plain word     any text of the row (names, states, the numbers behind the names,
//                    the owning process), in any case; a number matches a port or a pid
//                    exactly, never a longer number that holds it
//   port:N           the local or remote port, by number or by service name
//   proc:NAME, proc:PID   the owning process
//   state:S, proto:P the state (state:listen), the protocol (proto:udp)
//   host:H           either end's host name or address, or the row's computer
//                    where more than one is watched
//   family:4, family:6
//   !word            any of these, negated

#include <string>
#include <string_view>
#include <vector>

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
    bool active() const { return !m_terms.empty() || m_hideLoopback; }
    bool keeps(const ConnectionRow& row) const;

    enum class Field
    {
        Any,
        Port,
        Process,
        State,
        Protocol,
        Host,
        Family
    };

private:
    struct Term
    {
        Field field = Field::Any;
        std::string value; // lower case
        bool negated = false;
        long long number = -1; // the value as a whole number, or -1
    };
    static bool matches(const Term& term, const ConnectionRow& row);

    bool matchesComputer(const Term& term) const;

    std::vector<Term> m_terms;
    bool m_hideLoopback;
    std::string m_computer; // the computer every row is of, where several are watched
};
