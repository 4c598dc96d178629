#include "settings/tform_options.h"

#include "log/connection_log.h"
#include "settings/options_store.h"
#include "working_directory.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kDefaultFile = "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n0\r\nnetlog.txt\r\n";
const QByteArray kHeaderStart = "\r\n\r\nSession started at: ";

std::tm fixedDate()
{
    std::tm date {};
    date.tm_mday = 6;
    date.tm_mon = 11;
    date.tm_year = 126;
    return date;
}

class OptionsDialog : public InTemporaryDirectory
{
protected:
    void SetUp() override
    {
        InTemporaryDirectory::SetUp();
        log = std::make_unique<ConnectionLog>(fixedDate);
        store = std::make_unique<OptionsStore>(*log);
        dialog = std::make_unique<TForm_Options>(*store);
        dialog->ensureControls();
    }

    void TearDown() override
    {
        dialog.reset();
        store.reset();
        InTemporaryDirectory::TearDown();
    }

    QList<QCheckBox*> boxes() const
    {
        return { dialog->CheckBox1, dialog->CheckBox2, dialog->CheckBox3, dialog->CheckBox4,
            dialog->CheckBox5, dialog->CheckBox6, dialog->CheckBox7 };
    }

    static int headerCount(const QString& file)
    {
        return static_cast<int>(readFile(file).count(kHeaderStart));
    }

    void clickOk() { QTest::mouseClick(dialog->Button1, Qt::LeftButton); }
    const Options& options() const { return store->current(); }
    // The toolbar's Lookup hostnames button: the option, then a save.
    void toolbarLookup(bool down)
    {
        store->set(&Options::lookupHostNames, down);
        store->saveSettings();
    }
    // Each change of "Lookup hostnames", as the toolbar's button follows it.
    int lookupChanges = 0;
    void countLookupChanges()
    {
        QObject::connect(
            store.get(), &OptionsStore::changed, [this](const Options& now, const Options& before) {
                lookupChanges += now.lookupHostNames != before.lookupHostNames;
            });
    }

    std::unique_ptr<ConnectionLog> log;
    std::unique_ptr<OptionsStore> store;
    std::unique_ptr<TForm_Options> dialog;
};

} // namespace

TEST_F(OptionsDialog, StartsWithTheDefaultsWhenThereIsNoFile)
{
    store->loadSettings();
    EXPECT_EQ(dialog->Edit_Time->text(), u"1"_s);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(boxes()[i]->isChecked()) << "CheckBox" << i + 1;
    EXPECT_FALSE(dialog->CheckBox7->isChecked());
    EXPECT_EQ(dialog->Edit1->text(), u"netlog.txt"_s);
    EXPECT_FALSE(dialog->Edit1->isEnabled());
    EXPECT_EQ(store->refreshMilliseconds(), 1000);
    EXPECT_EQ(log->activeLogName(), "");
    EXPECT_FALSE(QFileInfo::exists(u"options.dat"_s));

    EXPECT_EQ(options(), Options());

    store->saveSettings();
    EXPECT_EQ(readFile(u"options.dat"_s), kDefaultFile);
    EXPECT_EQ(log->activeLogName(), "netlog.txt");
}

TEST_F(OptionsDialog, LooksAsLaidOut)
{
    EXPECT_EQ(dialog->windowTitle(), u"VELTRAN - Options"_s);
    EXPECT_EQ(dialog->size(), QSize(263, 276));
    EXPECT_EQ(dialog->Panel1->geometry(), QRect(QPoint(0, 0), dialog->size()));
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(dialog->font().pixelSize(), 11);
    EXPECT_EQ(dialog->Edit_Time->maxLength(), 2);
    EXPECT_EQ(dialog->Panel1->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(dialog->Panel1->frameShadow(), QFrame::Sunken);

    const struct
    {
        QWidget* widget;
        QRect place;
    } fixed[] = {
        { dialog->Edit_Time, { 120, 20, 33, 21 } },
        { dialog->Edit1, { 120, 188, 121, 21 } },
        { dialog->Bevel1, { 32, 216, 209, 17 } },
        { dialog->Button1, { 32, 232, 57, 25 } },
        { dialog->Button2, { 168, 232, 57, 25 } },
    };
    for (const auto& [widget, place] : fixed)
        EXPECT_EQ(widget->geometry(), place) << widget->objectName().toStdString();
    // Captions keep their corner and may grow with the font, but never under their neighbour.
    const struct
    {
        QWidget* widget;
        QPoint corner;
        int width;
    } captions[] = {
        { dialog->Label1, { 50, 24 }, 59 },
        { dialog->Label2, { 160, 24 }, 17 },
        { dialog->CheckBox1, { 32, 48 }, 129 },
        { dialog->CheckBox2, { 32, 72 }, 137 },
        { dialog->CheckBox3, { 32, 96 }, 145 },
        { dialog->CheckBox4, { 32, 120 }, 177 },
        { dialog->CheckBox5, { 32, 144 }, 121 },
        { dialog->CheckBox6, { 32, 168 }, 97 },
        { dialog->CheckBox7, { 32, 192 }, 81 },
    };
    for (const auto& [widget, corner, width] : captions) {
        EXPECT_EQ(widget->pos(), corner) << widget->objectName().toStdString();
        EXPECT_GE(widget->width(), width) << widget->objectName().toStdString();
        EXPECT_LE(widget->geometry().right(), 262) << widget->objectName().toStdString();
    }
    EXPECT_LT(dialog->Label1->geometry().right(), dialog->Edit_Time->x());
    EXPECT_LT(dialog->CheckBox7->geometry().right(), dialog->Edit1->x());

    const QString hint = u"Please note : The extension of a Logfile must be TXT !"_s;
    EXPECT_EQ(dialog->CheckBox7->toolTip(), hint);
    EXPECT_EQ(dialog->Edit1->toolTip(), hint);
    EXPECT_EQ(dialog->findChild<QLineEdit*>(u"Edit_Time"_s), dialog->Edit_Time);
}

TEST_F(OptionsDialog, AllNineValuesSurviveASaveAndALoad)
{
    dialog->Edit_Time->setText(u"42"_s);
    for (QCheckBox* box : boxes())
        box->setChecked(!box->isChecked());
    dialog->Edit1->setText(u"other.txt"_s);
    store->saveSettings();
    EXPECT_EQ(readFile(u"options.dat"_s), "42\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n1\r\nother.txt\r\n");

    ConnectionLog secondLog(fixedDate);
    OptionsStore secondStore(secondLog);
    TForm_Options second(secondStore);
    secondStore.loadSettings();
    second.ensureControls(); // made from what was loaded
    EXPECT_EQ(second.Edit_Time->text(), u"42"_s);
    EXPECT_EQ(secondStore.refreshMilliseconds(), 42000);
    EXPECT_FALSE(second.CheckBox1->isChecked() || second.CheckBox2->isChecked()
        || second.CheckBox3->isChecked() || second.CheckBox4->isChecked() || second.CheckBox5->isChecked()
        || second.CheckBox6->isChecked());
    EXPECT_TRUE(second.CheckBox7->isChecked());
    EXPECT_EQ(second.Edit1->text(), u"other.txt"_s);
    EXPECT_EQ(secondLog.activeLogName(), "other.txt");
    EXPECT_EQ(secondStore.current(), options()); // what the scans take
}

TEST_F(OptionsDialog, OkCorrectsTheRefreshTimeAndAppliesIt)
{
    const struct
    {
        QString typed;
        QString corrected;
        int milliseconds;
        QByteArray stored;
    } cases[] = {
        { u"0"_s, u"1"_s, 1000, "1" },
        { u"-5"_s, u"1"_s, 1000, "1" },
        { u"ab"_s, u"1"_s, 1000, "1" },
        { u""_s, u"1"_s, 1000, "1" },
        { u"99"_s, u"99"_s, 99000, "99" },
        { u"07"_s, u"07"_s, 7000, "7" },
        { u"1x"_s, u"1"_s, 1000, "1" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        dialog->show();
        QSignalSpy applied(dialog.get(), &TForm_Options::refreshIntervalApplied);
        dialog->Edit_Time->setText(c.typed);
        clickOk();
        EXPECT_EQ(dialog->Edit_Time->text(), c.corrected);
        ASSERT_EQ(applied.size(), 1);
        EXPECT_EQ(applied.first().first().toInt(), c.milliseconds);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_TRUE(readFile(u"options.dat"_s).startsWith(c.stored + "\r\n"));
    }
}

TEST_F(OptionsDialog, StoredZeroReachesTheTimerUnchecked)
{
    ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, "0 1 1 1 1 1 1 0 netlog.txt"));
    store->loadSettings();
    EXPECT_EQ(store->refreshMilliseconds(), 0);
    ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, "-5 1 1 1 1 1 1 0 netlog.txt"));
    store->loadSettings();
    EXPECT_EQ(dialog->Edit_Time->text(), u"-5"_s);
    EXPECT_EQ(store->refreshMilliseconds(), 0); // a timer never gets a negative interval
}

TEST_F(OptionsDialog, LoadingMirrorsLookupHostNamesOnlyOnARealChange)
{
    countLookupChanges();
    ASSERT_NO_FATAL_FAILURE(
        writeFile(u"options.dat"_s, "1\r\n1\r\n1\r\n1\r\n0\r\n1\r\n1\r\n0\r\nnetlog.txt\r\n"));
    store->loadSettings();
    EXPECT_EQ(lookupChanges, 1);
    EXPECT_FALSE(options().lookupHostNames);
    EXPECT_FALSE(dialog->CheckBox4->isChecked());

    store->loadSettings(); // same values: nothing changes
    EXPECT_EQ(lookupChanges, 1);

    dialog->CheckBox4->click(); // the user's click is a change too
    EXPECT_EQ(lookupChanges, 2);
    EXPECT_TRUE(options().lookupHostNames);
}

TEST_F(OptionsDialog, ToolbarButtonSavesEverythingTheDialogShows)
{
    ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, "7 1 1 1 1 1 1 0 netlog.txt"));
    store->loadSettings();
    // Unconfirmed edits: a non-number in the refresh field, an unticked box.
    dialog->Edit_Time->setText(u"ab"_s);
    dialog->CheckBox1->setChecked(false);

    toolbarLookup(false);
    EXPECT_FALSE(dialog->CheckBox4->isChecked());
    // The last confirmed time is stored; the field keeps the edit.
    EXPECT_EQ(readFile(u"options.dat"_s), "7\r\n0\r\n1\r\n1\r\n0\r\n1\r\n1\r\n0\r\nnetlog.txt\r\n");
    EXPECT_EQ(dialog->Edit_Time->text(), u"ab"_s);

    dialog->Edit_Time->setText(u"12"_s);
    clickOk();
    dialog->Edit_Time->setText(u"x"_s);
    toolbarLookup(true);
    EXPECT_TRUE(readFile(u"options.dat"_s).startsWith("12\r\n"));
    EXPECT_TRUE(dialog->CheckBox4->isChecked());
}

TEST_F(OptionsDialog, LoggingTickedByTheFileEnablesTheNameAndStartsASessionThere)
{
    ASSERT_NO_FATAL_FAILURE(
        writeFile(u"options.dat"_s, "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\nstored.txt\r\n"));
    store->loadSettings();
    EXPECT_TRUE(dialog->Edit1->isEnabled());
    EXPECT_TRUE(options().logEnabled);
    EXPECT_EQ(log->activeLogName(), "stored.txt");

    // The main window's first show then starts a session too; both go to the stored name.
    store->startLogSession();
    const QByteArray header = "\r\n\r\nSession started at: 6/12/2026 (dd/mm/yy)\r\n\r\n"
                              "  [Time]    Local IP  (Local Port)(Remote Port)  Remote IP\r\n\r\n";
    EXPECT_EQ(readFile(u"stored.txt"_s), header + header);
    EXPECT_FALSE(QFileInfo::exists(u"netlog.txt"_s));
}

TEST_F(OptionsDialog, ADialogMadeAfterALoadShowsTheStore)
{
    const QByteArray name(60, 'c');
    ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, "7 0 1 1 0 1 1 1 " + name));
    store->loadSettings();
    EXPECT_EQ(headerCount(QString::fromLatin1(name.left(49))), 1) << "ticking logging started a session";
    EXPECT_TRUE(dialog->logNameChanged());

    TForm_Options later(*store);
    later.ensureControls();
    for (int box = 0; box < 7; ++box) {
        const auto* shown = later.findChild<QCheckBox*>(u"CheckBox%1"_s.arg(box + 1));
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->isChecked(), boxes()[box]->isChecked()) << "CheckBox" << box + 1;
    }
    EXPECT_EQ(later.Edit_Time->text(), u"7"_s);
    EXPECT_EQ(later.Edit1->text(), QString::fromLatin1(name.left(49)));
    EXPECT_TRUE(later.Edit1->isEnabled());
    later.CheckBox2->setChecked(false); // either view changes the one store
    EXPECT_FALSE(dialog->CheckBox2->isChecked());
}

TEST_F(OptionsDialog, StoredDefaultNameGetsTwoHeadersAtEveryStart)
{
    ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, "1 1 1 1 1 1 1 1 netlog.txt"));
    store->loadSettings();
    store->startLogSession();
    EXPECT_EQ(headerCount(u"netlog.txt"_s), 2);
}

TEST_F(OptionsDialog, NameChangedWithLoggingOffWritesNoHeaderUntilLoggingIsTicked)
{
    store->loadSettings();
    EXPECT_FALSE(dialog->logNameChanged());
    dialog->Edit1->setText(u"netlog.txt"_s); // the same text is no change
    EXPECT_FALSE(dialog->logNameChanged());

    dialog->Edit1->setText(u"new.txt"_s);
    EXPECT_TRUE(dialog->logNameChanged());
    clickOk();
    EXPECT_FALSE(dialog->logNameChanged());
    EXPECT_FALSE(QFileInfo::exists(u"new.txt"_s));
    EXPECT_EQ(log->activeLogName(), "new.txt");

    dialog->CheckBox7->click();
    EXPECT_EQ(headerCount(u"new.txt"_s), 1);
    dialog->CheckBox7->click(); // unticking writes nothing
    EXPECT_EQ(headerCount(u"new.txt"_s), 1);
    EXPECT_FALSE(dialog->Edit1->isEnabled());
}

TEST_F(OptionsDialog, OkWithAChangedNameAndLoggingOnStartsASessionThere)
{
    dialog->CheckBox7->setChecked(true);
    EXPECT_EQ(headerCount(u"netlog.txt"_s), 1);
    dialog->Edit1->setText(u"second.txt"_s);
    EXPECT_EQ(log->activeLogName(), "netlog.txt"); // editing alone does not move the log
    clickOk();
    EXPECT_EQ(log->activeLogName(), "second.txt");
    EXPECT_EQ(headerCount(u"second.txt"_s), 1);
    EXPECT_EQ(headerCount(u"netlog.txt"_s), 1);
    clickOk(); // nothing changed since: no new header
    EXPECT_EQ(headerCount(u"second.txt"_s), 1);
}

TEST_F(OptionsDialog, TheNameFieldRefusesWhitespace)
{
    // options.dat could not give such a name back whole.
    dialog->Edit1->setEnabled(true);
    dialog->Edit1->clear();
    QTest::keyClicks(dialog->Edit1, u"my log.txt"_s);
    EXPECT_EQ(dialog->Edit1->text(), u"mylog.txt"_s);
    dialog->Edit1->insert(u"\tx y\u3000z"_s); // a paste
    EXPECT_EQ(dialog->Edit1->text(), u"mylog.txt"_s);

    store->saveSettings();
    store->loadSettings();
    EXPECT_EQ(dialog->Edit1->text(), u"mylog.txt"_s);
    EXPECT_EQ(log->activeLogName(), "mylog.txt");
}

TEST_F(OptionsDialog, LongNamesAreCutToWhatTheLogHolds)
{
    dialog->Edit1->setText(QString(60, u'a'));
    EXPECT_EQ(dialog->Edit1->text().size(), 49);
    store->saveSettings();
    EXPECT_EQ(log->activeLogName(), std::string(49, 'a'));

    ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, "1 1 1 1 1 1 1 0 " + QByteArray(80, 'b')));
    store->loadSettings();
    EXPECT_EQ(log->activeLogName(), std::string(49, 'b'));
    EXPECT_EQ(options().logFileName, std::string(49, 'b'));

    // 45 two-byte characters: cut on a character boundary, never inside one.
    dialog->Edit1->setText(QString(45, QChar(0xE9)));
    store->saveSettings();
    const std::string cut = log->activeLogName();
    EXPECT_EQ(cut.size(), 48u);
    EXPECT_EQ(QString::fromStdString(cut), QString(24, QChar(0xE9)));
}

TEST_F(OptionsDialog, UnreadableItemsKeepTheirControls)
{
    // Start from non-defaults so that "unchanged" differs from "reset".
    dialog->Edit_Time->setText(u"9"_s);
    for (QCheckBox* box : boxes())
        box->setChecked(!box->isChecked());
    dialog->Edit1->setText(u"keep.txt"_s);
    log->setActiveLogName("keep.txt");

    const struct
    {
        QByteArray content;
        QString refresh;
        QString ticks; // CheckBox1..7, '1' ticked
        QString name;
    } cases[] = {
        { "", u"9"_s, u"0000001"_s, u"keep.txt"_s },
        { "garbage\r\n", u"9"_s, u"0000001"_s, u"keep.txt"_s },
        { "5\r\n1\r\n", u"5"_s, u"1000001"_s, u"keep.txt"_s },
        { "4 1 1 yes 1 1 1 1 x.txt", u"4"_s, u"1100001"_s, u"keep.txt"_s },
        { "3 1 1 1 1 1 1 0", u"3"_s, u"1111110"_s, u"keep.txt"_s },
        { "150 0 0 0 0 0 0 1 n.txt", u"99"_s, u"0000001"_s, u"n.txt"_s },
        // Too large to hold: the default, and the log settings are still read.
        { "99999999999999999999 0 0 0 0 0 0 1 big.txt", u"1"_s, u"0000001"_s, u"big.txt"_s },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.toStdString());
        ASSERT_NO_FATAL_FAILURE(writeFile(u"options.dat"_s, c.content));
        store->loadSettings();
        EXPECT_EQ(dialog->Edit_Time->text(), c.refresh);
        QString ticks;
        for (QCheckBox* box : boxes())
            ticks += box->isChecked() ? u'1' : u'0';
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_EQ(dialog->Edit1->text(), c.name);
        EXPECT_EQ(QString::fromStdString(log->activeLogName()), c.name);
    }
}

TEST_F(OptionsDialog, CancelAndTheCloseBoxReturnToTheStoredValues)
{
    store->saveSettings();
    for (auto dismiss : { +[](TForm_Options& d) { QTest::mouseClick(d.Button2, Qt::LeftButton); },
             +[](TForm_Options& d) { d.close(); },
             +[](TForm_Options& d) { QTest::keyClick(&d, Qt::Key_Escape); } }) {
        dialog->show();
        dialog->CheckBox2->setChecked(false);
        dialog->Edit_Time->setText(u"5"_s);
        EXPECT_FALSE(options().showTcp); // a tick takes effect before Ok
        dismiss(*dialog);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_TRUE(dialog->CheckBox2->isChecked());
        EXPECT_TRUE(options().showTcp);
        EXPECT_EQ(dialog->Edit_Time->text(), u"1"_s);
    }

    // Without a stored file Cancel keeps the edits.
    QFile::remove(u"options.dat"_s);
    dialog->show();
    dialog->CheckBox2->setChecked(false);
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);
    EXPECT_FALSE(dialog->CheckBox2->isChecked());
}

TEST_F(OptionsDialog, SaveIntoAnUnwritablePlaceIsSilentAndKeepsTheOldFile)
{
    store->saveSettings();
    ASSERT_TRUE(QDir().mkdir(u"options.dat.tmp"_s));
    dialog->Edit_Time->setText(u"8"_s);
    clickOk();
    EXPECT_EQ(readFile(u"options.dat"_s), kDefaultFile);
}

TEST_F(OptionsDialog, TabFocusIsFramedInWhiteOnTheBlackPanel)
{
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QCheckBox* box = dialog->CheckBox3;
    const QImage before = box->grab().toImage();
    dialog->CheckBox2->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(dialog->CheckBox2, Qt::Key_Tab); // focus moved by keyboard
    ASSERT_TRUE(box->hasFocus());
    ASSERT_TRUE(dialog->testAttribute(Qt::WA_KeyboardFocusChange));
    const QImage after = box->grab().toImage();
    // Pixels that turned white: the frame (the style's own focus tint of the box is not white).
    int framePixels = 0;
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            framePixels += after.pixel(x, y) != before.pixel(x, y) && QColor(after.pixel(x, y)) == Qt::white;
    EXPECT_GT(framePixels, 20);
}
