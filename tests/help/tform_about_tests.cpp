#include "help/tform_about.h"

#include "help/shell.h"
#include "resources/ui_font.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

class AboutBox : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = setShellHandler([this](const std::string& target) { opened.push_back(target); });
        about.ensureControls();
    }
    void TearDown() override { setShellHandler(m_previous); }

    TForm_About about;
    std::vector<std::string> opened;

private:
    ShellHandler m_previous;
};

} // namespace

TEST_F(AboutBox, IsABorderlessDarkBoxWithThePictureCutOffAtTheLeft)
{
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_FALSE(about.isModal());
    EXPECT_EQ(about.size(), QSize(337 + 4, 278 + 4));
    EXPECT_EQ(about.ClientArea->geometry(), QRect(2, 2, 337, 278));
    EXPECT_EQ(about.ClientArea->palette().color(QPalette::Window), QColor(0x2A, 0x2A, 0x2A));

    EXPECT_EQ(about.Image1->geometry(), QRect(-120, 0, 473, 290));
    ASSERT_FALSE(about.Image1->pixmap().isNull());
    EXPECT_EQ(about.Image1->pixmap().size(), QSize(473, 290));

    EXPECT_EQ(about.Label3->text(), u"  VELTRAN 3.3   "_s);
    EXPECT_TRUE(about.Label3->font().bold());
    EXPECT_EQ(about.Label3->font().pixelSize(), 13);
    EXPECT_EQ(about.Label3->pos(), QPoint(192, 16));
    EXPECT_EQ(about.Label1->pos(), QPoint(192, 88));
    EXPECT_EQ(about.Label7->pos(), QPoint(176, 160));
    EXPECT_EQ(about.Button1->geometry(), QRect(216, 192, 75, 25));
    for (QLabel* link : { about.Label1, about.Label2, about.Label7 }) {
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::yellow));
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
}

TEST_F(AboutBox, LinksOpenThroughTheShell)
{
    QTest::mouseClick(about.Label1, Qt::LeftButton);
    QTest::mouseClick(about.Label2, Qt::LeftButton);
    QTest::mouseClick(about.Label7, Qt::LeftButton);
    QTest::mouseClick(about.Label3, Qt::LeftButton); // not a link
    EXPECT_EQ(opened,
        (std::vector<std::string> { std::string("mailto:") + TForm_About::kAdminAddress,
            std::string("mailto:") + TForm_About::kSalesAddress, TForm_About::kWebAddress }));
    QTest::mouseClick(about.Label1, Qt::RightButton);
    EXPECT_EQ(opened.size(), 3u);
}

TEST_F(AboutBox, OkHidesItAndItCanBeShownAgain)
{
    for (int round = 0; round < 2; ++round) {
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(about.Button1, Qt::LeftButton);
        EXPECT_FALSE(about.isVisible());
    }
}

// The layouts were drawn for a narrow 11-pixel face: with the one the program depends
// on, the texts stay whole at their places.
TEST(LayoutFont, KeepsTheGridsAndTheAboutBoxsTextsWhole)
{
    ASSERT_EQ(QFontInfo(windowFont()).family(), QString::fromLatin1(kLayoutFontFamily))
        << "fonts-liberation missing";
    const QFontMetrics grid(windowFont());
    EXPECT_LE(grid.horizontalAdvance(QStringLiteral("Established")),
        54 - 2); // the State column, less the text offset
    EXPECT_LE(grid.horizontalAdvance(QStringLiteral("Protocol")), 44 - 2);
    TForm_About about;
    about.ensureControls();
    for (const QLabel* label :
        { about.Label3, about.Label10, about.Label5, about.Label1, about.Label2, about.Label6 })
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
    EXPECT_EQ(about.Label10->width(), 115) << "Network Monitor grew out of its box";
}
