// The map's ordering, counters, content height and composed picture, read pixel by pixel.
#include "map_test_support.h"

#include "resources/embedded_pictures.h"
#include "views/connection_map.h"

#include <gtest/gtest.h>

#include <QIcon>

#include <memory>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

using Order = std::vector<std::string>;

struct OrderCase
{
    const char* name;
    std::vector<TestRow> rows;
    std::vector<Order> runs; // the order after the first, second, ... run
};

TEST(MapOrdering, OrdersRowsLikeTheMapShowsThem)
{
    const std::vector<OrderCase> cases = {
        { "established rows rotate, listening stays last",
            { { "h", "1", "Established" }, { "h", "2", "Established" }, { "h", "3", "Established" },
                { "h", "4", "Listening" } },
            { { "3", "1", "2", "4" }, { "2", "3", "1", "4" }, { "1", "2", "3", "4" },
                { "3", "1", "2", "4" } } },
        { "an established row reverses the listening rows before it",
            { { "h", "1", "Listening" }, { "h", "2", "Listening" }, { "h", "3", "Established" } },
            { { "3", "2", "1" } } },
        { "descending text: 10.0.0.2 before 10.0.0.10",
            { { "10.0.0.10", "a", "Listening" }, { "10.0.0.2", "b", "Listening" } }, { { "b", "a" } } },
        { "a text that begins a longer one is the smaller",
            { { "10.0.0.1", "short", "Listening" }, { "10.0.0.10", "long", "Listening" } },
            { { "long", "short" } } },
        { "bytes compare unsigned",
            { { "cafz", "plain", "Listening" }, { "caf\xc3\xa9", "accent", "Listening" } },
            { { "accent", "plain" } } },
        { "higher host with an established row comes first",
            { { "10.0.0.1", "lst", "Listening" }, { "10.0.0.2", "est", "Established" } },
            { { "est", "lst" } } },
        { "state compares exactly", { { "h", "1", "Listening" }, { "h", "2", "established" } },
            { { "1", "2" } } },
        { "empty table", {}, { {} } },
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionTable table;
        fillTable(table, c.rows);
        for (std::size_t run = 0; run < c.runs.size(); ++run) {
            orderMapRows(table);
            EXPECT_EQ(localPorts(table), c.runs[run]) << "run " << run + 1;
        }
    }
}

TEST(MapOrdering, ATableBeyondTheClassicSizeTakesTheSameOrderStably)
{
    std::vector<TestRow> rows;
    std::vector<std::string> ports;
    for (int i = 0; i < 250; ++i)
        ports.push_back(std::to_string(i + 1));
    for (int i = 0; i < 250; ++i)
        rows.push_back({ i % 2 == 0 ? "10.0.0.1" : "10.0.0.2", ports[std::size_t(i)].c_str(),
            i % 5 == 0 ? "Established" : "Listening" });
    ConnectionTable table(ConnectionTable::kUnbounded);
    fillTable(table, rows);
    orderMapRows(table);
    const std::vector<std::string> order = localPorts(table);
    // 10.0.0.2 first (descending), its established rows first, each group in the scan's order.
    EXPECT_EQ(order[0], "6");
    EXPECT_EQ(order[1], "16");
    EXPECT_EQ(order[25], "2");
    EXPECT_EQ(order[125], "1");
    EXPECT_EQ(order[150], "3");
    EXPECT_EQ(countMapRows(table).interfaceCount, 2);
}

TEST(MapOrdering, SwapsWholeRows)
{
    ConnectionTable table;
    fillTable(table,
        { { "10.0.0.1", "137", "none", "UDP" },
            { "10.0.0.9", "1025", "Established", "TCP", "far.example", "https" } });
    orderMapRows(table);
    const ConnectionRow& first = table.row(1);
    EXPECT_STREQ(first.localHost, "10.0.0.9");
    EXPECT_STREQ(first.localPort, "1025");
    EXPECT_STREQ(first.remoteHost, "far.example");
    EXPECT_STREQ(first.remotePort, "https");
    EXPECT_STREQ(first.protocol, "TCP");
    EXPECT_STREQ(first.state, "Established");
    EXPECT_STREQ(table.row(2).protocol, "UDP");
}

TEST(MapCounters, CountsEstablishedRowsAndInterfaces)
{
    struct Case
    {
        const char* name;
        std::vector<TestRow> rows;
        int established;
        int interfaces;
    };
    const std::vector<Case> cases = {
        { "empty", {}, 0, 0 },
        { "one row", { { "a", "1", "Listening" } }, 0, 1 },
        { "grouped by display text",
            { { "myhost", "1", "Listening" }, { "10.0.0.5", "2", "Established" },
                { "myhost", "3", "Established" }, { "myhost", "4", "none", "UDP" } },
            2, 2 },
        { "every established row counted once",
            { { "10.0.0.1", "1", "Listening" }, { "10.0.0.2", "2", "Established" } }, 1, 2 },
        { "other states are not established",
            { { "a", "1", "Time_wait" }, { "a", "2", "Close_wait" }, { "b", "3", "Established" } }, 1, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionTable table;
        fillTable(table, c.rows);
        orderMapRows(table);
        const MapCounters counters = countMapRows(table);
        EXPECT_EQ(counters.establishedCount, c.established);
        EXPECT_EQ(counters.interfaceCount, c.interfaces);
    }
}

TEST(MapLayout, ContentHeightFollowsThePictures)
{
    const MapPictures real = MapPictures::load();
    EXPECT_EQ(mapContentHeight(real, {}, 0), 134);
    EXPECT_EQ(mapContentHeight(real, { 2, 1 }, 5), 422);
    EXPECT_EQ(mapContentHeight(real, { 0, 3 }, 7), 30 + 64 + 3 * 83 + 7 * 41 + 40);
    // Main 50 high, interface 20 high, row step 31.
    EXPECT_EQ(mapContentHeight(plainPictures(), { 0, 2 }, 3), 30 + 50 + 2 * 60 + 3 * 31 + 40);
}

TEST(MapPictures, HaveTheirSizesAndNearBlackCorners)
{
    const MapPictures p = MapPictures::load();
    const struct
    {
        const QImage* image;
        QSize size;
    } expected[] = { { &p.Image_Main, { 64, 64 } }, { &p.Image_Hub_Top, { 50, 43 } },
        { &p.Image_Hub_Est, { 50, 41 } }, { &p.Image_Hub_Lst, { 50, 41 } }, { &p.Image_Remote, { 39, 39 } } };
    for (const auto& e : expected) {
        ASSERT_FALSE(e.image->isNull());
        EXPECT_EQ(e.image->size(), e.size);
        EXPECT_EQ(e.image->format(), QImage::Format_RGB32);
        const QColor corner = e.image->pixelColor(0, e.image->height() - 1);
        EXPECT_LT(corner.red() + corner.green() + corner.blue(), 48);
    }
    EXPECT_EQ(p.Image_Hub_Est, p.Image_Hub_Lst);
}

TEST(MapPictures, EmbeddedIconsAreQtsOwnWithTheirSharpTwins)
{
    const QIcon qtIcon(QStringLiteral(":/toolbar/help.png"));
    const QIcon icon = embedded_pictures::icon(QStringLiteral(":/toolbar/help.png"));
    EXPECT_EQ(icon.availableSizes(), qtIcon.availableSizes());
    EXPECT_EQ(icon.pixmap(QSize(35, 35), 2.0).toImage(), qtIcon.pixmap(QSize(35, 35), 2.0).toImage());
}

// One interface: an established row, a listening port and a UDP endpoint, drawn
// at the window's initial size.
class WorkedExample : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fillTable(table,
            { { "192.168.1.10", "1025", "Established", "TCP", "server.example", "http" },
                { "192.168.1.10", "ftp", "Listening" }, { "192.168.1.10", "netbios-ns", "none", "UDP" } });
        orderMapRows(table);
        image = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, "workstation");
    }

    MapPictures pictures = MapPictures::load();
    ConnectionTable table;
    QImage image;
};

TEST_F(WorkedExample, PicturesStandWhereTheLayoutPutsThem)
{
    ASSERT_EQ(image.size(), QSize(603, 409));
    EXPECT_TRUE(containsAt(image, pictures.Image_Main, 20, 30));
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Top, 50, 144));
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Est, 50, 187));
    EXPECT_TRUE(containsAt(image, pictures.Image_Remote, 523, 187));
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Lst, 50, 228));
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Lst, 50, 269));
    // Nothing below the last row, and nothing right of the stubs.
    EXPECT_FALSE(hasColour(image, QRect(0, 310, 603, 99), kGrey));
    EXPECT_EQ(image.pixelColor(560, 250), kBlack);
}

// On a screen scaled by 2 the same layout is drawn with twice the pixels and the 2x pictures.
TEST_F(WorkedExample, AtScaleTwoTheSameLayoutUsesTheSharpPictures)
{
    ASSERT_TRUE(pictures.twice);
    const QImage sharp = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, "workstation", 2);
    ASSERT_EQ(sharp.size(), QSize(1206, 818));
    EXPECT_EQ(sharp.devicePixelRatio(), 2);
    EXPECT_TRUE(containsAt(sharp, pictures.twice->Image_Main, 40, 60));
    EXPECT_TRUE(containsAt(sharp, pictures.twice->Image_Hub_Est, 100, 374));
    EXPECT_TRUE(containsAt(sharp, pictures.twice->Image_Remote, 1046, 374));
    // The established line, two pixels thick.
    for (int x = 200; x <= 1044; x += 8)
        ASSERT_EQ(sharp.pixelColor(x, 414), kGrey) << x;
    EXPECT_EQ(sharp.pixelColor(1000, 415), kGrey);
}

TEST_F(WorkedExample, LinesJoinTheRowsToTheTrunk)
{
    for (int x = 100; x <= 522; ++x)
        ASSERT_EQ(image.pixelColor(x, 207), kGrey) << "established line at x = " << x;
    for (int row : { 248, 289 }) {
        for (int x = 100; x <= 150; ++x)
            ASSERT_EQ(image.pixelColor(x, row), kGrey) << "stub at x = " << x << ", y = " << row;
        EXPECT_EQ(image.pixelColor(151, row), kBlack);
    }
    for (int x = 40; x <= 49; ++x)
        ASSERT_EQ(image.pixelColor(x, 187), kGrey) << "connector at x = " << x;
    for (int y = 94; y <= 187; ++y)
        ASSERT_EQ(image.pixelColor(40, y), kGrey) << "trunk at y = " << y;
    EXPECT_EQ(image.pixelColor(39, 120), kBlack);
    EXPECT_EQ(image.pixelColor(41, 120), kBlack);
}

TEST_F(WorkedExample, WithTrafficShownAFastConnectionsLineIsThicker)
{
    ConnectionRow& row = table.row(1);
    row.trafficKnown = true;
    EXPECT_EQ(mapLineWidth(row, { false, false, true }), 1) << "no rate yet";
    row.sendRate = 900e3;
    row.receiveRate = 200e3;
    EXPECT_EQ(mapLineWidth(row, MapLabels()), 1);
    const QImage thick = composeConnectionMap(
        QSize(603, 409), 603, 30, pictures, table, "workstation", 1, { false, false, true });
    const QImage plain = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, "workstation");
    EXPECT_EQ(plain, image) << "traffic off: today's pixels";
    for (int y = 206; y <= 209; ++y)
        EXPECT_EQ(thick.pixelColor(300, y), kGrey) << y;
    EXPECT_EQ(thick.pixelColor(300, 205), kBlack);
    EXPECT_EQ(thick.pixelColor(300, 210), kBlack);
    row.sendRate = 20e3;
    EXPECT_EQ(mapLineWidth(row, { false, false, true }), 3);
}

TEST_F(WorkedExample, TextsStandAtTheirCorners)
{
    const int remoteRight = 50 + 473 - 5;
    const QString connected = u"You are connected to"_s;
    const struct
    {
        QString text;
        QColor colour;
        int x;
        int y;
    } texts[] = {
        { u"My computer: workstation"_s, kWhite, 20, 15 },
        { u"Established connections: 1"_s, kWhite, 89, 35 },
        { u"Opened ports: 3"_s, kWhite, 89, 50 },
        { u"Interfaces: 1"_s, kWhite, 89, 65 },
        { u"192.168.1.10"_s, kWhite, 50, 129 },
        { u"TCP"_s, kYellow, 105, 192 },
        { u"1025"_s, kWhite, 105, 209 },
        { u"http"_s, kWhite, remoteRight - textWidth(u"http"_s), 209 },
        { connected, kWhite, 50 + (473 - textWidth(connected)) / 2, 192 },
        { u"server.example"_s, kYellow, remoteRight - textWidth(u"server.example"_s), 192 },
        { u"TCP"_s, kYellow, 105, 233 },
        { u"ftp"_s, kWhite, 105, 250 },
        { u"UDP"_s, kYellow, 105, 274 },
        { u"netbios-ns"_s, kWhite, 105, 291 },
    };
    for (const auto& t : texts)
        EXPECT_TRUE(containsAt(image, textCell(t.text, t.colour), t.x, t.y))
            << qPrintable(t.text) << " at (" << t.x << ", " << t.y << ")";
}

TEST(MapComposition, EmptyTableShowsTheComputerAndZeroCounters)
{
    const MapPictures pictures = MapPictures::load();
    ConnectionTable table;
    const QImage image = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, "");
    EXPECT_TRUE(containsAt(image, pictures.Image_Main, 20, 30));
    EXPECT_TRUE(containsAt(image, textCell(u"My computer: "_s, kWhite), 20, 15));
    EXPECT_TRUE(containsAt(image, textCell(u"Established connections: 0"_s, kWhite), 89, 35));
    EXPECT_TRUE(containsAt(image, textCell(u"Opened ports: 0"_s, kWhite), 89, 50));
    EXPECT_TRUE(containsAt(image, textCell(u"Interfaces: 0"_s, kWhite), 89, 65));
    EXPECT_FALSE(hasColour(image, QRect(0, 94, 603, 315), kGrey));
}

TEST(MapComposition, LayoutReadsThePictureSizes)
{
    // Main 40 x 50, interface 30 x 20, established 60 x 25 (hubWidth 60),
    // other rows 35 x 31 (rowStep 31), remote 15 x 17.
    const MapPictures pictures = plainPictures();
    ConnectionTable table;
    fillTable(table,
        { { "b", "1", "Established", "TCP", "r", "9" }, { "b", "2", "Time_wait" },
            { "a", "3", "none", "UDP" } });
    orderMapRows(table);
    const QImage image = composeConnectionMap(QSize(500, 400), 400, 30, pictures, table, "n");

    EXPECT_TRUE(containsAt(image, pictures.Image_Main, 20, 30));
    // First interface: caption at 90 + 25, its picture 15 lower, the row below it.
    EXPECT_TRUE(containsAt(image, textCell(u"b"_s, kWhite), 50, 115));
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Top, 50, 130));
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Est, 50, 150));
    EXPECT_EQ(image.pixelColor(110, 165), kGrey); // rowMid = 150 + 31 / 2
    EXPECT_EQ(image.pixelColor(319, 165), kGrey);
    EXPECT_TRUE(containsAt(image, pictures.Image_Remote, 320, 150)); // remoteSpan = 400 - 130
    EXPECT_TRUE(containsAt(image, textCell(u"Established connections: 1"_s, kWhite), 65, 35));
    // A connection in another state is a stub with the other picture.
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Lst, 50, 181));
    EXPECT_EQ(image.pixelColor(150, 196), kGrey);
    EXPECT_EQ(image.pixelColor(151, 196), kBlack);
    // Second interface on the same trunk, the UDP endpoint a stub as well.
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Top, 50, 252));
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Lst, 50, 272));
    EXPECT_EQ(image.pixelColor(40, 272), kGrey);
    EXPECT_EQ(image.pixelColor(40, 80), kGrey); // trunk top: 30 + 50
    EXPECT_TRUE(containsAt(image, textCell(u"Interfaces: 2"_s, kWhite), 65, 65));
}

TEST(MapComposition, ScrolledMapIsCutAtTheTop)
{
    const MapPictures pictures = MapPictures::load();
    ConnectionTable table;
    fillTable(table, { { "10.1.1.1", "22", "Listening" } });
    const QImage image = composeConnectionMap(QSize(603, 200), 603, 30 - 41, pictures, table, "pc");
    EXPECT_TRUE(containsAt(image, pictures.Image_Main.copy(0, 11, 64, 53), 20, 0));
    EXPECT_TRUE(containsAt(image, pictures.Image_Hub_Lst, 50, 187 - 41));
    EXPECT_EQ(image.pixelColor(40, 146), kGrey);
    EXPECT_EQ(image.pixelColor(40, 53), kGrey); // the trunk reaches the picture's lower edge
}

TEST(MapComposition, ExtremeInputsStayInsideThePicture)
{
    const MapPictures pictures = MapPictures::load();
    ConnectionTable table;
    fillTable(table, { { "h", "1", "Established", "TCP", "far", "80" } });

    const std::string longName(10000, 'w');
    const QImage named = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, longName);
    EXPECT_TRUE(hasColour(named, QRect(590, 15, 13, 14), kWhite)) << "the name runs to the edge";

    // Below 180 the remote computer would fall back over the row: the row stays readable.
    const QImage narrow = composeConnectionMap(QSize(200, 409), 150, 30, pictures, table, "n");
    EXPECT_EQ(narrow.size(), QSize(200, 409));
    EXPECT_TRUE(containsAt(narrow, pictures.Image_Hub_Est, 50, 187));
    EXPECT_TRUE(containsAt(narrow, textCell(u"1"_s, kWhite), 105, 209));

    EXPECT_EQ(composeConnectionMap(QSize(1, 1), 603, 30, pictures, table, "n").size(), QSize(1, 1));
    EXPECT_TRUE(composeConnectionMap(QSize(0, 409), 603, 30, pictures, table, "n").isNull());
}

TEST(MapComposition, NarrowWindowsKeepTheRemoteSideOffTheRowAndStaleMapsAreDimmed)
{
    const MapPictures pictures = MapPictures::load();
    ConnectionTable table;
    fillTable(table,
        { { "h", "1", "Established", "TCP", "a-remote-host-name-longer-than-the-row.example", "80" } });
    // At 300 the host name, right-aligned to the remote computer, reaches back over the row.
    const QImage narrow = composeConnectionMap(QSize(300, 409), 300, 30, pictures, table, "n");
    EXPECT_TRUE(containsAt(narrow, pictures.Image_Hub_Est, 50, 187));
    EXPECT_TRUE(containsAt(narrow, pictures.Image_Remote, 220, 187));
    EXPECT_TRUE(hasColour(narrow, QRect(140, 192, 60, 12), kYellow)) << "the name is cut, not gone";

    const QImage fresh = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, "n");
    const QImage stale = composeConnectionMap(QSize(603, 409), 603, 30, pictures, table, "n", 1, {}, true);
    EXPECT_TRUE(hasColour(fresh, fresh.rect(), kWhite));
    EXPECT_FALSE(hasColour(stale, stale.rect(), kWhite));
    EXPECT_FALSE(hasColour(stale, stale.rect(), kYellow));
    EXPECT_TRUE(hasColour(stale, stale.rect(), QColor(127, 127, 0))) << "dimmed, still there";
}

} // namespace

// Only the rows on screen are drawn: any band of a long map, three interfaces of 40 rows
// each, is that band of the whole map drawn at once, the trunk to later interfaces included.
TEST(LongMap, EveryBandIsTheSameBandOfTheWholeMap)
{
    std::vector<TestRow> rows;
    for (const char* host : { "10.0.0.3", "10.0.0.2", "10.0.0.1" }) {
        for (int i = 0; i < 40; ++i)
            rows.push_back(i % 3 == 0 ? TestRow { host, "http", "Established", "TCP", "peer.example", "4000" }
                                      : TestRow { host, "ssh", "Listening" });
    }
    ConnectionTable table;
    fillTable(table, rows);
    orderMapRows(table);
    const MapPictures pictures = MapPictures::load();
    const int height = mapContentHeight(pictures, countMapRows(table), table.count());
    const QImage whole = composeConnectionMap(QSize(603, height), 603, 30, pictures, table, "me");
    for (const int offset : { 0, 700, 1700, 2100, height - 409 }) {
        const QImage band = composeConnectionMap(QSize(603, 409), 603, 30 - offset, pictures, table, "me");
        EXPECT_EQ(band, whole.copy(0, offset, 603, 409)) << "scrolled by " << offset;
    }
}
