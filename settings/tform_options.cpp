#include "settings/tform_options.h"

#include "log/connection_log.h"
#include "resources/ui_font.h"
#include "scan/grid_columns.h"
#include "scan/utf8_cut.h"
#include "settings/focus_frame_style.h"
#include "settings/options_file.h"
#include "settings/settings_file.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

const QString kLogHint = u"Please note : The extension of a Logfile must be TXT !"_s;

// The field holds at most two characters; a hand-edited file may hold more.
constexpr int kRefreshFieldLength = 2;
constexpr long long kLowestStoredRefresh = -9;
constexpr long long kHighestStoredRefresh = 99;

// The log keeps at most 49 bytes of a name: cut on a character boundary so a
// multi-byte character is never split.
std::string logNameOf(const QString& fieldText)
{
    const std::string name = fieldText.toStdString();
    return std::string(utf8Prefix(name, ConnectionLog::kMaxNameLength));
}

std::optional<long long> wholeNumberOf(const QString& fieldText)
{
    return parseWholeNumber(fieldText.trimmed().toStdString());
}

// Labels size themselves to their text, as the captions were laid out for a
// narrower font than this platform may have.
void placeLabel(QLabel* label, int left, int top, int width, int height)
{
    label->setGeometry(left, top, std::max(width, label->sizeHint().width()), height);
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

} // namespace

TForm_Options::TForm_Options(ConnectionLog& log, ColumnTitles columnTitles, QWidget* parent)
    : QDialog(parent)
    , m_log(log)
    , m_columnTitles(std::move(columnTitles))
{
    setObjectName(u"TForm_Options"_s);
    setWindowTitle(u"VELTRAN - Options"_s);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setFixedSize(263, 276);
}

TForm_Options::~TForm_Options() = default;

void TForm_Options::ensureControls()
{
    if (Panel1)
        return;
    // Where the classic face is missing, metric-alike faces keep the captions inside
    // their boxes better than the platform's usually wider default.
    setFont(uiFont({ u"MS Sans Serif"_s, u"Microsoft Sans Serif"_s, u"Liberation Sans"_s, u"Arimo"_s,
                       u"Nimbus Sans"_s, u"Arial"_s },
        11));

    createControls();
    m_watchOptions = std::make_unique<WatchOptions>(this, Panel1);
    m_watchOptions->setTarget(m_watchTarget);
    connectControls();
    createEndpointOptions();
}

void TForm_Options::setVisible(bool visible)
{
    if (visible)
        ensureControls(); // before the dialog shows its children
    QDialog::setVisible(visible);
}

WatchOptions& TForm_Options::watchOptions()
{
    ensureControls();
    return *m_watchOptions;
}

void TForm_Options::createControls()
{
    Panel1 = new QFrame(this);
    Panel1->setObjectName(u"Panel1"_s);
    Panel1->setGeometry(0, 0, 263, 276);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    QPalette panelPalette = Panel1->palette();
    panelPalette.setColor(QPalette::Window, Qt::black);
    panelPalette.setColor(QPalette::WindowText, Qt::white);
    Panel1->setPalette(panelPalette);

    Label1 = new QLabel(u"Refresh time"_s, Panel1);
    Label1->setObjectName(u"Label1"_s);
    placeLabel(Label1, 50, 24, 59, 13);

    Edit_Time = new QLineEdit(refreshText(), Panel1);
    Edit_Time->setObjectName(u"Edit_Time"_s);
    Edit_Time->setGeometry(120, 20, 33, 21);
    Edit_Time->setMaxLength(kRefreshFieldLength);
    setTextColour(Edit_Time, Edit_Time->palette().color(QPalette::ToolTipText));

    Label2 = new QLabel(u"sec"_s, Panel1);
    Label2->setObjectName(u"Label2"_s);
    placeLabel(Label2, 160, 24, 17, 13);

    // The boxes' focus frames must show on the black panel.
    auto* focusStyle = new FocusFrameStyle;
    focusStyle->setParent(this);
    const auto makeBox
        = [this, focusStyle](const QString& name, const QString& caption, int top, int width, bool ticked) {
              auto* box = new QCheckBox(caption, Panel1);
              box->setObjectName(name);
              box->setStyle(focusStyle);
              // Grows with a wider font, but never under the control to its right.
              box->setGeometry(32, top, std::max(width, box->sizeHint().width()), 17);
              box->setChecked(ticked);
              return box;
          };
    CheckBox1 = makeBox(u"CheckBox1"_s, u"Show listening ports"_s, 48, 129, m_showListening);
    CheckBox2 = makeBox(u"CheckBox2"_s, u"Show TCP connections"_s, 72, 137, m_showTcp);
    CheckBox3 = makeBox(u"CheckBox3"_s, u"Show UDP connections"_s, 96, 145, m_showUdp);
    CheckBox4 = makeBox(u"CheckBox4"_s, u"Lookup hostnames"_s, 120, 177, m_lookupHostNames);
    CheckBox5 = makeBox(u"CheckBox5"_s, u"Lookup portnames"_s, 144, 121, m_lookupPortNames);
    CheckBox6 = makeBox(u"CheckBox6"_s, u"Cache DNS"_s, 168, 97, m_cacheDns);
    CheckBox7 = makeBox(u"CheckBox7"_s, u"Logfile name"_s, 192, 81, m_logEnabled);
    CheckBox7->resize(std::clamp(CheckBox7->width(), 81, 120 - 32 - 2), 17);
    CheckBox7->setToolTip(kLogHint);

    Edit1 = new QLineEdit(m_logFieldText, Panel1);
    Edit1->setObjectName(u"Edit1"_s);
    Edit1->setGeometry(120, 188, 121, 21);
    Edit1->setMaxLength(static_cast<int>(ConnectionLog::kMaxNameLength));
    Edit1->setEnabled(m_logEnabled);
    Edit1->setToolTip(kLogHint);
    // options.dat stores the name as one word: a blank would cut it at the next load.
    Edit1->setValidator(new QRegularExpressionValidator(
        QRegularExpression(u"\\S*"_s, QRegularExpression::UseUnicodePropertiesOption), Edit1));
    setTextColour(Edit1, Qt::black);

    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(u"Bevel1"_s);
    Bevel1->setGeometry(32, 216, 209, 17);
    // The bevel is a single line along its top edge, not a line through its middle.
    auto* line = new QFrame(Bevel1);
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    line->setGeometry(0, 0, 209, 2);

    Button1 = new QPushButton(u"Ok"_s, this);
    Button1->setObjectName(u"Button1"_s);
    Button1->setGeometry(32, 232, 57, 25);
    Button1->setDefault(true);

    Button2 = new QPushButton(u"Cancel"_s, this);
    Button2->setObjectName(u"Button2"_s);
    Button2->setGeometry(168, 232, 57, 25);
}

void TForm_Options::connectControls()
{
    // The mirrors are connected before the handlers, so a handler (and anything it
    // triggers) already sees the new state through Settings.
    const auto mirror = [this](QCheckBox* box, std::atomic<bool>& value) {
        connect(box, &QCheckBox::toggled, this, [&value](bool ticked) { value = ticked; });
    };
    mirror(CheckBox1, m_showListening);
    mirror(CheckBox2, m_showTcp);
    mirror(CheckBox3, m_showUdp);
    mirror(CheckBox4, m_lookupHostNames);
    mirror(CheckBox5, m_lookupPortNames);
    mirror(CheckBox6, m_cacheDns);
    mirror(CheckBox7, m_logEnabled);

    connect(Edit_Time, &QLineEdit::textChanged, this, &TForm_Options::refreshTextChanged);
    connect(Edit1, &QLineEdit::textChanged, this, &TForm_Options::logFieldTextChanged);

    connect(CheckBox4, &QCheckBox::toggled, this, &TForm_Options::CheckBox4Click);
    connect(CheckBox7, &QCheckBox::toggled, this, &TForm_Options::CheckBox7Click);
    connect(Button1, &QPushButton::clicked, this, &TForm_Options::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm_Options::Button2Click);
}

void TForm_Options::setTicked(
    QCheckBox* box, std::atomic<bool>& option, bool ticked, void (TForm_Options::*toggled)(bool))
{
    if (box) {
        box->setChecked(ticked); // its signals set the option and take the effects
        return;
    }
    if (option == ticked)
        return;
    option = ticked;
    if (toggled)
        (this->*toggled)(ticked);
}

void TForm_Options::setRefreshText(const QString& text)
{
    if (Edit_Time) {
        Edit_Time->setText(text);
        return;
    }
    const QString held = text.left(kRefreshFieldLength); // as the field would hold it
    if (held != refreshText())
        refreshTextChanged(held);
}

void TForm_Options::setLogFieldText(const QString& text)
{
    if (Edit1) {
        Edit1->setText(text);
        return;
    }
    const QString held = text.left(static_cast<int>(ConnectionLog::kMaxNameLength));
    if (held != m_logFieldText)
        logFieldTextChanged(held);
}

void TForm_Options::refreshTextChanged(const QString& text)
{
    std::lock_guard lock(m_textMutex);
    m_refreshSecondsText = text.toStdString();
}

void TForm_Options::logFieldTextChanged(const QString& text)
{
    m_logFieldText = text;
    {
        std::lock_guard lock(m_textMutex);
        m_logFileName = logNameOf(text);
    }
    Edit1Change();
}

void TForm_Options::CheckBox4Click(bool ticked)
{
    Q_EMIT lookupHostNamesMirrored(ticked);
}

void TForm_Options::CheckBox7Click(bool ticked)
{
    if (Edit1)
        Edit1->setEnabled(ticked);
    startLogSession();
}

void TForm_Options::CheckBoxProcessClick(bool ticked)
{
    Q_EMIT processColumnChanged(ticked);
}

void TForm_Options::Edit1Change()
{
    m_logNameChanged = true;
}

void TForm_Options::loadSettings()
{
    Q_ASSERT(QThread::currentThread() == thread());
    loadWatchTarget();
    loadEndpointOptions();
    const auto stored = readOptionsFile(m_optionsFile.toStdString());
    if (!stored)
        return;

    if (stored->refreshSeconds) {
        const long long seconds
            = std::clamp(*stored->refreshSeconds, kLowestStoredRefresh, kHighestStoredRefresh);
        setRefreshText(QString::number(seconds));
        m_confirmedRefreshSeconds = static_cast<int>(seconds);
    }

    // The name goes in before the boxes: ticking the Logfile box starts a session, and
    // that header belongs in the stored file, not in the field's old one.
    if (stored->logFileName) {
        const QString name = QString::fromStdString(*stored->logFileName);
        m_log.setActiveLogName(logNameOf(name));
        setLogFieldText(name);
    }

    using Toggled = void (TForm_Options::*)(bool);
    const std::tuple<const std::optional<bool>&, QCheckBox*, std::atomic<bool>&, Toggled> boxes[] = {
        { stored->showListening, CheckBox1, m_showListening, nullptr },
        { stored->showTcp, CheckBox2, m_showTcp, nullptr },
        { stored->showUdp, CheckBox3, m_showUdp, nullptr },
        { stored->lookupHostNames, CheckBox4, m_lookupHostNames, &TForm_Options::CheckBox4Click },
        { stored->lookupPortNames, CheckBox5, m_lookupPortNames, nullptr },
        { stored->cacheDns, CheckBox6, m_cacheDns, nullptr },
        { stored->logEnabled, CheckBox7, m_logEnabled, &TForm_Options::CheckBox7Click },
    };
    for (const auto& [value, box, option, toggled] : boxes) {
        if (value)
            setTicked(box, option, *value, toggled);
    }
}

void TForm_Options::saveSettings()
{
    Q_ASSERT(QThread::currentThread() == thread());
    OptionsValues values;
    values.refreshSeconds = refreshSecondsToStore();
    values.showListening = m_showListening;
    values.showTcp = m_showTcp;
    values.showUdp = m_showUdp;
    values.lookupHostNames = m_lookupHostNames;
    values.lookupPortNames = m_lookupPortNames;
    values.cacheDns = m_cacheDns;
    values.logEnabled = m_logEnabled;
    m_log.setActiveLogName(logNameOf(m_logFieldText));
    values.logFileName = m_log.activeLogName();
    QStringList failures;
    if (!writeOptionsFile(m_optionsFile.toStdString(), values))
        failures
            += u"Could not save %1: %2"_s.arg(m_optionsFile, QString::fromLocal8Bit(std::strerror(errno)));
    // Which version wrote the options, for a later one that reads them differently.
    if (m_settingsFile && !m_settingsFile->setValue(u"version"_s, QStringLiteral(VELTRAN_VERSION)))
        failures += m_settingsFile->error();
    failures += saveEndpointOptions();
    if (!failures.isEmpty())
        Q_EMIT saveFailed(failures.join(u"; "_s));
}

void TForm_Options::setStorage(const QString& optionsFile, SettingsFile* settingsFile)
{
    m_optionsFile = optionsFile;
    m_settingsFile = settingsFile;
}

void TForm_Options::startLogSession()
{
    Q_ASSERT(QThread::currentThread() == thread());
    // The grid's own titles of columns 1 to 4, unless the window says otherwise.
    std::array<std::string, 4> titles { kGridColumnTitles[1], kGridColumnTitles[2], kGridColumnTitles[3],
        kGridColumnTitles[4] };
    if (m_columnTitles)
        titles = m_columnTitles();
    m_log.startLogSession(m_logEnabled, logNameOf(m_logFieldText), titles);
}

void TForm_Options::loadWatchTarget()
{
    if (!m_settingsFile)
        return;
    const WatchTarget stored = WatchTarget::load(*m_settingsFile);
    if (m_watchOptions)
        m_watchOptions->setTarget(stored);
    if (stored == m_watchTarget)
        return;
    m_watchTarget = stored;
    Q_EMIT watchTargetApplied(m_watchTarget);
}

void TForm_Options::applyWatchTarget()
{
    const WatchTarget chosen = m_watchOptions ? m_watchOptions->target() : m_watchTarget;
    // Written only when it differs from the file: watching this computer, as always, leaves
    // the file as it always was.
    if (m_settingsFile && chosen != WatchTarget::load(*m_settingsFile) && !chosen.store(*m_settingsFile))
        Q_EMIT saveFailed(m_settingsFile->error());
    if (chosen == m_watchTarget)
        return;
    m_watchTarget = chosen;
    Q_EMIT watchTargetApplied(m_watchTarget);
}

int TForm_Options::refreshSecondsToStore() const
{
    const auto seconds = wholeNumberOf(refreshText());
    return seconds ? static_cast<int>(*seconds) : m_confirmedRefreshSeconds;
}

int TForm_Options::refreshMilliseconds() const
{
    // A negative interval would be refused by the timer; 0 leaves it idle, which is
    // what a stored 0 does too.
    return std::max(0, refreshSecondsToStore()) * 1000;
}

void TForm_Options::setLookupHostNames(bool ticked)
{
    setTicked(CheckBox4, m_lookupHostNames, ticked, &TForm_Options::CheckBox4Click);
}

void TForm_Options::ToolButton6Click(bool down)
{
    setLookupHostNames(down);
    saveSettings();
}

void TForm_Options::Button1Click()
{
    Q_ASSERT(QThread::currentThread() == thread());
    auto seconds = wholeNumberOf(refreshText());
    if (!seconds || *seconds < 1) {
        setRefreshText(u"1"_s);
        seconds = 1;
    }
    m_confirmedRefreshSeconds = static_cast<int>(*seconds);
    Q_EMIT refreshIntervalApplied(m_confirmedRefreshSeconds * 1000);
    QDialog::accept();
    saveSettings();
    applyWatchTarget();
    if (m_logNameChanged)
        startLogSession();
    m_logNameChanged = false;
}

void TForm_Options::Button2Click()
{
    QDialog::reject();
    loadSettings();
}

void TForm_Options::reject()
{
    Button2Click();
}

void TForm_Options::showEvent(QShowEvent* event)
{
    if (!m_centred) {
        if (QScreen* display = screen())
            move(display->availableGeometry().center() - rect().center());
        m_centred = true;
    }
    QDialog::showEvent(event);
}

QString TForm_Options::refreshText() const
{
    return QString::fromStdString(refreshSecondsText());
}

std::string TForm_Options::refreshSecondsText() const
{
    std::lock_guard lock(m_textMutex);
    return m_refreshSecondsText;
}

bool TForm_Options::showListening() const
{
    return m_showListening;
}

bool TForm_Options::showTcp() const
{
    return m_showTcp;
}

bool TForm_Options::showUdp() const
{
    return m_showUdp;
}

bool TForm_Options::lookupHostNames() const
{
    return m_lookupHostNames;
}

bool TForm_Options::lookupPortNames() const
{
    return m_lookupPortNames;
}

bool TForm_Options::cacheDns() const
{
    return m_cacheDns;
}

bool TForm_Options::logEnabled() const
{
    return m_logEnabled;
}

std::string TForm_Options::logFileName() const
{
    std::lock_guard lock(m_textMutex);
    return m_logFileName;
}

std::string TForm_Options::filterText() const
{
    std::lock_guard lock(m_textMutex);
    return m_filterText;
}

bool TForm_Options::hideLoopback() const
{
    return m_hideLoopback;
}

void TForm_Options::setFilterText(const QString& text)
{
    std::lock_guard lock(m_textMutex);
    m_filterText = text.toStdString();
}

void TForm_Options::setHideLoopback(bool hide)
{
    m_hideLoopback = hide;
}
