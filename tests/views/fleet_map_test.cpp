// The fleet map's picture, read back by its pixels: boxes in a grid, a line for each link
// between two computers, the unwatched hosts beside their box, a stale computer dimmed.
#include "views/connection_map.h"
#include "views/fleet_map_picture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

HostAddress address(const char* text)
{
    HostAddress result;
    inet_pton(AF_INET, text, result.address.data());
    return result;
}

FleetEndpoint endpoint(
    const char* local, std::uint16_t port, const char* remote = nullptr, std::uint16_t remotePort = 0)
{
    FleetEndpoint row;
    row.local = address(local);
    row.localPort = port;
    row.connected = remote != nullptr;
    if (remote)
        row.remote = address(remote);
    row.remotePort = remotePort;
    row.pid = 10;
    row.process = "proc";
    return row;
}

int countColour(const QImage& image, const QRect& area, QColor colour)
{
    int count = 0;
    for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y) {
        for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x)
            count += image.pixelColor(x, y) == colour;
    }
    return count;
}

TEST(FleetMap, BoxesInAGridLinesBetweenLinkedEndsHostsAtTheEdgeStaleDimmed)
{
    std::vector<FleetMapComputer> computers(20);
    for (std::size_t i = 0; i < computers.size(); ++i) {
        computers[i].computer.name = "computer-" + std::to_string(i);
        computers[i].computer.endpoints = { endpoint("0.0.0.0", 22) };
    }
    // 0 -> 1 (next to it) linked; 0 -> an unwatched host; 19 stale.
    computers[0].computer.endpoints.push_back(endpoint("10.0.0.1", 40000, "10.0.0.2", 80));
    computers[0].computer.endpoints.push_back(endpoint("10.0.0.1", 40001, "8.8.8.8", 53));
    computers[1].computer.endpoints.push_back(endpoint("10.0.0.2", 80, "10.0.0.1", 40000));
    computers[19].stale = true;
    FleetLinks links;
    links.links.push_back(FleetLink { { 0, 1 }, { 1, 1 }, false });
    links.unwatched.push_back(UnwatchedHost { 0, address("8.8.8.8"), { 2 } });

    const FleetMapLayout layout = layoutFleetMap(computers, links);
    EXPECT_EQ(layout.columns, 5); // 20 computers: 5 columns of 4
    ASSERT_EQ(layout.boxes.size(), 20u);
    EXPECT_EQ(layout.boxes[1].top(), layout.boxes[0].top());
    EXPECT_GT(layout.boxes[5].top(), layout.boxes[0].bottom());
    for (std::size_t i = 1; i < layout.boxes.size(); ++i)
        EXPECT_FALSE(layout.boxes[i].intersects(layout.boxes[i - 1])) << i;

    const MapPalette palette = mapPalette();
    const QImage image = composeFleetMap(computers, links);
    ASSERT_EQ(image.size(), layout.size);
    // The link crosses the gap between box 0 and box 1; the gap between 1 and 2 has no line.
    const QRect gap01(layout.boxes[0].right() + 20, layout.boxes[0].top(), 40, layout.boxes[0].height());
    const QRect gap12(layout.boxes[1].right() + 20, layout.boxes[1].top(), 40, layout.boxes[1].height());
    EXPECT_GT(countColour(image, gap01, palette.line), 30);
    EXPECT_EQ(countColour(image, gap12, palette.line), 0);
    // The computers' names in the highlight colour, texts in the text colour.
    EXPECT_GT(countColour(image, layout.boxes[3], palette.highlight), 20);
    EXPECT_GT(countColour(image, layout.boxes[3], palette.text), 20);
    // 8.8.8.8 (1) beside box 0, in the gap's upper rows.
    const QRect beside(layout.boxes[0].right() + 8, layout.boxes[0].top() + 20, 70, 20);
    EXPECT_GT(countColour(image, beside, palette.text), 10);
    // The stale box has no pure highlight or text pixels left.
    EXPECT_EQ(countColour(image, layout.boxes[19].adjusted(1, 1, -1, -1), palette.highlight), 0);
    EXPECT_EQ(countColour(image, layout.boxes[19].adjusted(1, 1, -1, -1), palette.text), 0);

    const QImage zoomed = composeFleetMap(computers, links, 2);
    EXPECT_EQ(zoomed.size(), layout.size * 2);
}

} // namespace
