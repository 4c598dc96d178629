// DrawConnectionMap with a real surface and scroll bar, wired as the main window
// wires them: a position change redraws the map while the graphic view is chosen.
#include "map_test_support.h"

#include "views/connection_map.h"
#include "views/map_surface.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>

#include <QTest>

#include <gtest/gtest.h>

#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace {

std::shared_ptr<MapTable> tableWithRows(int rows, const char* name = "pc")
{
    auto mapTable = std::make_shared<MapTable>();
    fillTable(
        mapTable->table, std::vector<TestRow>(std::size_t(rows), TestRow { "10.0.0.1", "7", "Listening" }));
    mapTable->localComputerName = name;
    return mapTable;
}

// Content height with one interface and n rows: 30 + 64 + 83 + 41 n + 40.
constexpr int contentHeight(int rows)
{
    return 217 + 41 * rows;
}

class MapWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        listView1.resize(603, 409);
        QObject::connect(&scrollBar1, &QScrollBar::valueChanged, &listView1, [this] {
            ++changeRuns;
            if (toolButton3Down)
                map.DrawConnectionMap();
        });
    }

    // The map the surface shows is drawn with the local computer's picture at
    // y = mapTop: checked on that picture or, scrolled past it, on the first row.
    bool shiftedTo(int mapTop) const
    {
        if (mapTop + 64 > 0)
            return partlyAt(pictures.Image_Main, 20, mapTop);
        int rowTop = mapTop + 64 + 10 + 40 + 43;
        while (rowTop + 41 <= 0)
            rowTop += 41;
        return partlyAt(pictures.Image_Hub_Lst, 50, rowTop);
    }

    bool partlyAt(const QImage& picture, int x, int y) const
    {
        const int cut = std::max(0, -y);
        return containsAt(
            listView1.shownMap(), picture.copy(0, cut, picture.width(), picture.height() - cut), x, y + cut);
    }

    MapPictures pictures = MapPictures::load();
    MapSurface listView1;
    QScrollBar scrollBar1 { Qt::Vertical };
    bool toolButton3Down = true;
    int changeRuns = 0;
    ConnectionMap map { &listView1, &scrollBar1, &pictures, [] { return 603; } };
};

TEST_F(MapWindow, ScrollBarFollowsTheContentHeight)
{
    struct Case
    {
        const char* name;
        int rows;
        int surfaceHeight;
        bool shown;
        int maximum;
    };
    const Case cases[] = {
        { "empty table", 0, 409, false, 0 },
        { "empty table on a surface 134 high", 0, 134, false, 0 },
        { "empty table on a surface 133 high", 0, 133, true, 1 },
        { "five rows outgrow the initial surface", 5, 409, true, 13 },
        { "content exactly as high as the surface", 5, 422, false, 0 },
        { "one pixel more than the surface", 5, 421, true, 1 },
        { "two hundred rows", 200, 409, true, contentHeight(200) - 409 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scrollBar1.setVisible(true);
        scrollBar1.setMaximum(100);
        listView1.resize(603, c.surfaceHeight);
        map.setTable(tableWithRows(c.rows));
        map.DrawConnectionMap();
        EXPECT_EQ(!scrollBar1.isHidden(), c.shown);
        if (c.shown) {
            EXPECT_EQ(scrollBar1.maximum(), c.maximum);
            EXPECT_EQ(scrollBar1.singleStep(), 41);
        }
        EXPECT_EQ(listView1.shownMap().size(), QSize(603, c.surfaceHeight));
        EXPECT_TRUE(shiftedTo(30));
    }
}

TEST_F(MapWindow, WheelMovesByOneLineStepWithinTheRange)
{
    map.setTable(tableWithRows(10));
    map.DrawConnectionMap();
    ASSERT_EQ(scrollBar1.maximum(), contentHeight(10) - 409);

    QSignalSpy changes(&scrollBar1, &QScrollBar::valueChanged);
    const QImage before = listView1.shownMap();
    map.FormMouseWheelUp();
    EXPECT_EQ(scrollBar1.value(), 0);
    EXPECT_EQ(changes.count(), 0) << "wheel up at 0 does nothing";
    EXPECT_EQ(listView1.shownMap().cacheKey(), before.cacheKey()) << "and draws nothing";

    map.FormMouseWheelDown();
    EXPECT_EQ(scrollBar1.value(), 41);
    EXPECT_TRUE(shiftedTo(30 - 41));

    scrollBar1.setValue(scrollBar1.maximum() - 10);
    map.FormMouseWheelDown();
    EXPECT_EQ(scrollBar1.value(), scrollBar1.maximum()) << "the last step is shorter";
    EXPECT_TRUE(shiftedTo(30 - scrollBar1.maximum()));

    changes.clear();
    const QImage atEnd = listView1.shownMap();
    map.FormMouseWheelDown();
    EXPECT_EQ(scrollBar1.value(), scrollBar1.maximum());
    EXPECT_EQ(changes.count(), 0) << "wheel down at Max does nothing";
    EXPECT_EQ(listView1.shownMap().cacheKey(), atEnd.cacheKey());

    map.FormMouseWheelUp();
    EXPECT_EQ(scrollBar1.value(), scrollBar1.maximum() - 41);
}

TEST_F(MapWindow, PageKeysMoveByTheSurfaceInWholeRowsAndHomeEndToTheEnds)
{
    map.setTable(tableWithRows(30));
    map.DrawConnectionMap();
    const int page = 409 / 41 * 41;
    const struct
    {
        int key;
        int position;
    } steps[] = { { Qt::Key_PageDown, page }, { Qt::Key_PageDown, 2 * page },
        { Qt::Key_End, contentHeight(30) - 409 }, { Qt::Key_PageDown, contentHeight(30) - 409 },
        { Qt::Key_PageUp, contentHeight(30) - 409 - page }, { Qt::Key_Home, 0 }, { Qt::Key_PageUp, 0 } };
    for (const auto& step : steps) {
        EXPECT_TRUE(map.scrollByKey(step.key));
        EXPECT_EQ(scrollBar1.value(), step.position) << step.key;
    }
    EXPECT_TRUE(shiftedTo(30));
    EXPECT_FALSE(map.scrollByKey(Qt::Key_A));
    EXPECT_EQ(scrollBar1.singleStep(), 41);
}

TEST_F(MapWindow, ClampedPositionRunsANestedMapFirst)
{
    map.setTable(tableWithRows(10));
    map.DrawConnectionMap();
    scrollBar1.setValue(scrollBar1.maximum());
    changeRuns = 0;

    // Fewer rows: the new maximum clamps the position, and the change handler draws
    // a map of its own inside this run.
    map.setTable(tableWithRows(6));
    map.DrawConnectionMap();
    const int maximum = contentHeight(6) - 409;
    EXPECT_EQ(scrollBar1.maximum(), maximum);
    EXPECT_EQ(scrollBar1.value(), maximum);
    EXPECT_EQ(changeRuns, 1);
    EXPECT_TRUE(shiftedTo(30 - maximum));
}

TEST_F(MapWindow, PositionSurvivesContentThatShrinksAndGrowsAgain)
{
    map.setTable(tableWithRows(10));
    map.DrawConnectionMap();
    scrollBar1.setValue(100);

    map.setTable(tableWithRows(2));
    map.DrawConnectionMap();
    EXPECT_TRUE(scrollBar1.isHidden());
    EXPECT_EQ(scrollBar1.value(), 100);
    EXPECT_TRUE(shiftedTo(30)) << "drawn unshifted";

    map.setTable(tableWithRows(7)); // maximum 64: the old position is clamped
    map.DrawConnectionMap();
    EXPECT_FALSE(scrollBar1.isHidden());
    EXPECT_EQ(scrollBar1.value(), contentHeight(7) - 409);
    EXPECT_TRUE(shiftedTo(30 - scrollBar1.value()));

    map.setTable(tableWithRows(12));
    map.DrawConnectionMap();
    EXPECT_EQ(scrollBar1.value(), contentHeight(7) - 409);
}

TEST_F(MapWindow, TextModeScrollingDoesNotDraw)
{
    map.setTable(tableWithRows(10));
    map.DrawConnectionMap();
    toolButton3Down = false;
    const QImage before = listView1.shownMap();
    map.FormMouseWheelDown();
    EXPECT_EQ(scrollBar1.value(), 41) << "the wheel acts in either mode";
    EXPECT_EQ(listView1.shownMap().cacheKey(), before.cacheKey());
}

TEST_F(MapWindow, EveryRunReordersTheOwnedTable)
{
    auto mapTable = std::make_shared<MapTable>();
    fillTable(mapTable->table,
        { { "h", "1", "Established" }, { "h", "2", "Established" }, { "h", "3", "Established" },
            { "h", "4", "Listening" } });
    map.setTable(mapTable);
    map.DrawConnectionMap();
    EXPECT_EQ(localPorts(map.table().table), (std::vector<std::string> { "3", "1", "2", "4" }));
    map.DrawConnectionMap();
    EXPECT_EQ(localPorts(map.table().table), (std::vector<std::string> { "2", "3", "1", "4" }));
    EXPECT_TRUE(containsAt(listView1.shownMap(), textCell(u"Established connections: 3"_s, kWhite), 89, 35));

    map.setTable(nullptr);
    map.DrawConnectionMap();
    EXPECT_TRUE(containsAt(listView1.shownMap(), textCell(u"Opened ports: 0"_s, kWhite), 89, 50));
}

TEST_F(MapWindow, BusySurfaceKeepsWhatItShows)
{
    map.setTable(tableWithRows(1));
    map.DrawConnectionMap();
    const QImage shown = listView1.shownMap();

    ASSERT_TRUE(listView1.enterDrawing());
    EXPECT_FALSE(listView1.enterDrawing());
    map.setTable(tableWithRows(3));
    map.DrawConnectionMap();
    EXPECT_EQ(listView1.shownMap().cacheKey(), shown.cacheKey()) << "copy skipped";
    listView1.leaveDrawing();

    map.DrawConnectionMap();
    EXPECT_NE(listView1.shownMap().cacheKey(), shown.cacheKey());
    EXPECT_TRUE(containsAt(listView1.shownMap(), textCell(u"Opened ports: 3"_s, kWhite), 89, 50));
}

TEST_F(MapWindow, RepaintShowsTheLastMapNotBlack)
{
    map.setTable(tableWithRows(2, "repainted"));
    map.DrawConnectionMap();
    // grab() paints the widget again, as an uncovered window would.
    const QImage painted = listView1.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(painted.size(), QSize(603, 409));
    EXPECT_EQ(painted, listView1.shownMap());

    // Grown since the last run: the new strip is black until the next run.
    listView1.resize(700, 409);
    const QImage grown = listView1.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(containsAt(grown, listView1.shownMap(), 0, 0));
    EXPECT_FALSE(hasColour(grown, QRect(603, 0, 97, 409), kWhite));
    EXPECT_EQ(grown.pixelColor(650, 200), kBlack);
    EXPECT_TRUE(listView1.enterDrawing()) << "painting released the drawing lock";
    listView1.leaveDrawing();
}

TEST_F(MapWindow, LongComputerNameIsDrawnSafely)
{
    map.setTable(tableWithRows(1, std::string(10000, 'x').c_str()));
    map.DrawConnectionMap();
    EXPECT_TRUE(hasColour(listView1.shownMap(), QRect(580, 15, 23, 14), kWhite));
    EXPECT_TRUE(containsAt(listView1.shownMap(), textCell(u"My computer: xx"_s, kWhite), 20, 15));
}

TEST(MapFocus, ShownScrollBarTakesTheKeyboardOnPaint)
{
    QWidget window;
    auto* listView1 = new MapSurface(&window);
    auto* scrollBar1 = new QScrollBar(Qt::Vertical, &window);
    auto* other = new QLineEdit(&window);
    MapPictures pictures = MapPictures::load();
    ConnectionMap map(listView1, scrollBar1, &pictures, [] { return 603; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    other->setFocus();
    map.FormPaint();
    EXPECT_TRUE(scrollBar1->hasFocus());

    scrollBar1->hide();
    other->setFocus();
    map.FormPaint();
    EXPECT_TRUE(other->hasFocus()) << "a hidden scroll bar leaves the focus where it is";
}

} // namespace

// A refresh that draws the same map repaints nothing; one that changes some rows repaints
// their band only, in the surface's own coordinates at any scale.
TEST(MapSurfaceRepaint, OnlyTheChangedBandOfTheMapIsRepainted)
{
    QImage before(603, 409, QImage::Format_RGB32);
    before.fill(Qt::black);
    EXPECT_TRUE(changedBand(before, before.copy()).isEmpty());
    EXPECT_EQ(changedBand(QImage(), before), QRect(0, 0, 603, 409));

    QImage after = before.copy();
    after.setPixelColor(300, 120, Qt::white);
    after.setPixelColor(10, 200, Qt::white);
    EXPECT_EQ(changedBand(before, after), QRect(0, 120, 603, 81));

    QImage sharpBefore(1206, 818, QImage::Format_RGB32);
    sharpBefore.fill(Qt::black);
    sharpBefore.setDevicePixelRatio(2);
    QImage sharpAfter = sharpBefore.copy();
    sharpAfter.setPixelColor(5, 241, Qt::white);
    EXPECT_EQ(changedBand(sharpBefore, sharpAfter), QRect(0, 120, 603, 1));
    EXPECT_EQ(changedBand(before, sharpAfter), QRect(0, 0, 603, 409)); // a new scale: all of it
}
