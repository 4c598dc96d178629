#include "scan/connection_table.h"
#include "scan/row_ordering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

// Fills a table with rows whose state is the given text and whose localPort tags the arrival order.
ConnectionTable tableOf(const std::vector<std::string>& states, int capacity = ConnectionTable::kCapacity)
{
    ConnectionTable table(capacity);
    for (std::size_t i = 0; i < states.size(); ++i) {
        ConnectionRow* row = table.append();
        setField(row->state, states[i]);
        setField(row->localPort, std::to_string(i + 1));
    }
    return table;
}

std::vector<std::string> arrivalTags(const ConnectionTable& table)
{
    std::vector<std::string> tags;
    for (int r = 1; r <= table.count(); ++r)
        tags.push_back(std::string(table.row(r).state) + "#" + table.row(r).localPort);
    return tags;
}

TEST(ConnectionTable, EndpointsBeyondTheLimitAreCountedAndAnOverflowBeginsOnce)
{
    struct Case
    {
        int endpoints;
        int notStored;
    };
    for (const Case c : { Case { 0, 0 }, Case { 200, 0 }, Case { 201, 1 }, Case { 203, 3 } }) {
        SCOPED_TRACE(c.endpoints);
        ConnectionTable table;
        for (int i = 1; i <= c.endpoints; ++i) {
            if (ConnectionRow* row = table.append())
                setField(row->localPort, std::to_string(i));
        }
        EXPECT_EQ(table.notStored(), c.notStored);
        EXPECT_EQ(table.overflowBegins(), c.notStored > 0);
        EXPECT_EQ(table.count(), std::min(c.endpoints, 200));
        if (c.endpoints >= 200) {
            EXPECT_STREQ(table.row(200).localPort, "200"); // the 200th survives the overflow
        }
    }

    // An overflow lasts across scans until one scan fits; the next overflow begins anew.
    ConnectionTable table;
    for (const auto& [endpoints, begins] :
        { std::pair { 201, true }, { 205, false }, { 3, false }, { 250, true } }) {
        table.reset();
        for (int i = 0; i < endpoints; ++i)
            table.append();
        EXPECT_EQ(table.overflowBegins(), begins) << endpoints;
    }
}

TEST(ConnectionTable, DropLastLetsTheNextAppendOverwriteTheRow)
{
    ConnectionTable table = tableOf({ "Established", "Listening" });
    table.dropLast();
    EXPECT_EQ(table.count(), 1);
    ConnectionRow* row = table.append();
    EXPECT_EQ(row, &table.row(2));
    EXPECT_STREQ(row->state, "Listening"); // stale texts stay until overwritten

    // A full table that drops its last row takes one more row without a message.
    ConnectionTable full = tableOf(std::vector<std::string>(200, "none"));
    full.dropLast();
    EXPECT_NE(full.append(), nullptr);
    EXPECT_EQ(full.notStored(), 0);
}

TEST(ConnectionTable, ACopyTakesTheStoredRowsAndTheOverflowState)
{
    ConnectionTable full = tableOf(std::vector<std::string>(200, "none"));
    EXPECT_EQ(full.append(), nullptr);
    ConnectionTable copy(full);
    EXPECT_EQ(arrivalTags(copy), arrivalTags(full));
    EXPECT_EQ(copy.notStored(), 1);
    EXPECT_TRUE(copy.overflowBegins());
    const ConnectionTable two = tableOf({ "Established", "Listening" });
    copy = two;
    EXPECT_EQ(arrivalTags(copy), arrivalTags(two));
    EXPECT_FALSE(copy.overflowBegins());

    // The overflow of the scan before travels with a copy: one that lasts does not begin again.
    full.reset();
    ConnectionTable next = full;
    for (int i = 0; i < 201; ++i)
        next.append();
    EXPECT_EQ(next.notStored(), 1);
    EXPECT_FALSE(next.overflowBegins());
}

TEST(ConnectionTable, ResetKeepsTextsButShowsNoRows)
{
    ConnectionTable table = tableOf({ "Established", "Closed" });
    table.reset();
    EXPECT_EQ(table.count(), 0);
    EXPECT_STREQ(table.row(2).state, "Closed");
}

TEST(ConnectionTable, SwapExchangesAllSixFieldsInFull)
{
    ConnectionTable table;
    ConnectionRow* a = table.append();
    ConnectionRow* b = table.append();
    const std::string longHost(254, 'h');
    setField(a->localHost, longHost);
    setField(a->localPort, "http");
    setField(a->remoteHost, "beta");
    setField(a->remotePort, "51000");
    setField(a->protocol, "TCP");
    setField(a->state, "Established");
    setField(b->localHost, "alpha");
    setField(b->localPort, "53");
    setField(b->remoteHost, "none");
    setField(b->remotePort, "none");
    setField(b->protocol, "UDP");
    setField(b->state, "none");

    table.swap(1, 2);
    EXPECT_STREQ(table.row(1).localHost, "alpha");
    EXPECT_STREQ(table.row(1).protocol, "UDP");
    EXPECT_STREQ(table.row(1).state, "none");
    EXPECT_EQ(std::string(table.row(2).localHost), longHost);
    EXPECT_STREQ(table.row(2).localPort, "http");
    EXPECT_STREQ(table.row(2).remoteHost, "beta");
    EXPECT_STREQ(table.row(2).remotePort, "51000");
    EXPECT_STREQ(table.row(2).state, "Established");
}

TEST(ConnectionTable, TextsLongerThanAFieldAreCutToFit)
{
    ConnectionRow row {};
    setField(row.localHost, std::string(300, 'x'));
    EXPECT_EQ(std::string(row.localHost), std::string(254, 'x'));
    setField(row.protocol, "0123456789ABC");
    EXPECT_STREQ(row.protocol, "012345678");
    setField(row.state, "");
    EXPECT_STREQ(row.state, "");
}

TEST(RowOrdering, WorkedExamples)
{
    struct Case
    {
        std::vector<std::string> arrival;
        std::vector<std::string> result; // state#arrival position
    };
    const Case cases[] {
        { { "Established", "Established", "Established" },
            { "Established#2", "Established#3", "Established#1" } },
        { { "Established", "Closed" }, { "Closed#2", "Established#1" } },
        { { "Listening", "Established", "Time_wait", "Established", "none", "Closed" },
            { "Established#2", "Established#4", "Closed#6", "Listening#1", "Time_wait#3", "none#5" } },
        { { "Time_wait", "Time_wait", "Listening" }, { "Listening#3", "Time_wait#2", "Time_wait#1" } },
        { {}, {} },
        { { "none" }, { "none#1" } },
        // Byte order: capitals before lower case, a prefix before the longer text.
        { { "none", "Listening", "Last_ack", "Close_wait", "Closed" },
            { "Close_wait#4", "Closed#5", "Last_ack#3", "Listening#2", "none#1" } },
    };
    for (const Case& c : cases) {
        ConnectionTable table = tableOf(c.arrival);
        orderRows(table);
        EXPECT_EQ(arrivalTags(table), c.result);
    }
}

TEST(RowOrdering, ATableBeyondTheClassicSizeIsSortedStablyByTheSameKeys)
{
    // Established rows first, the rest by state; each group keeps the scan's order.
    std::vector<std::string> states;
    for (int i = 0; i < 300; ++i)
        states.push_back(i % 3 == 0 ? "Established" : (i % 3 == 1 ? "Time_wait" : "Listening"));
    ConnectionTable table = tableOf(states, ConnectionTable::kUnbounded);
    orderRows(table);
    const std::vector<std::string> tags = arrivalTags(table);
    ASSERT_EQ(tags.size(), 300u);
    EXPECT_EQ(tags[0], "Established#1");
    EXPECT_EQ(tags[1], "Established#4");
    EXPECT_EQ(tags[99], "Established#298");
    EXPECT_EQ(tags[100], "Listening#3");
    EXPECT_EQ(tags[200], "Time_wait#2");
    EXPECT_EQ(tags[299], "Time_wait#299");
}

} // namespace

TEST(RowOrdering, AReorderMovesWholeRowsToTheirPlaces)
{
    // A permutation of long cycles, a fixed point and a swapped pair.
    ConnectionTable table = tableOf(std::vector<std::string>(60, "Listening"), ConnectionTable::kUnbounded);
    for (int r = 1; r <= 60; ++r) {
        table.row(r).pid = 1000 + r;
        setField(table.row(r).localHost, std::string(r * 3, 'h'));
    }
    std::vector<int> order(60);
    std::iota(order.begin(), order.end(), 1);
    std::mt19937 random(7);
    std::shuffle(order.begin() + 2, order.end(), random);
    std::swap(order[0], order[1]);
    table.reorder(order);
    for (int r = 1; r <= 60; ++r) {
        const int from = order[static_cast<std::size_t>(r - 1)];
        EXPECT_EQ(table.row(r).localPort, std::to_string(from));
        EXPECT_EQ(table.row(r).pid, 1000 + from);
        EXPECT_EQ(table.row(r).localHost, std::string(from * 3, 'h'));
    }
}

TEST(ConnectionTable, RowTextsAreCutAsFixedFieldsOfTheirSize)
{
    ConnectionRow row {};
    setField(row.localHost, std::string(300, 'h'));
    EXPECT_EQ(std::strlen(row.localHost), 254u);
    setField(row.processName, std::string("name\0hidden", 11));
    EXPECT_STREQ(row.processName, "name"); // read as a C string, up to its terminator
    setField(row.commandLine, std::string(600, 'c'));
    EXPECT_EQ(row.commandLine.size(), 511u);
}

TEST(ShortText, TextsOfEverySizeSurviveCopiesMovesAndSwaps)
{
    // Around the 15 bytes kept in place, and a text assigned from a part of itself.
    ShortText none;
    none.assign(std::string_view()); // points nowhere
    EXPECT_STREQ(none.c_str(), "");
    for (const std::size_t size : { 0u, 1u, 14u, 15u, 16u, 46u, 300u }) {
        SCOPED_TRACE(size);
        std::string text(size, 'a');
        for (std::size_t i = 0; i < size; ++i)
            text[i] = static_cast<char>('a' + i % 26);
        ShortText held;
        held.assign(text);
        EXPECT_EQ(held.view(), text);
        EXPECT_EQ(std::strlen(held.c_str()), size);
        ShortText copy(held);
        ShortText other;
        other.assign("::1");
        other = copy;
        ShortText moved(std::move(copy));
        EXPECT_EQ(copy.view(), ""); // NOLINT(bugprone-use-after-move): a moved-from text is empty
        EXPECT_EQ(other.view(), text);
        EXPECT_EQ(moved.view(), text);
        ShortText shortOne;
        shortOne.assign("443");
        moved.swap(shortOne);
        EXPECT_EQ(moved.view(), "443");
        EXPECT_EQ(shortOne.view(), text);
        shortOne.assign(shortOne.view().substr(size / 2));
        EXPECT_EQ(shortOne.view(), text.substr(size / 2));
    }
}
