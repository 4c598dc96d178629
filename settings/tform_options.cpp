#include "settings/tform_options.h"

#include "log/connection_log.h"
#include "resources/ui_font.h"
#include "settings/focus_frame_style.h"
#include "settings/options_store.h"

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

// The field holds at most two characters.
constexpr int kRefreshFieldLength = 2;

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

TForm_Options::TForm_Options(OptionsStore& store, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
{
    setObjectName(u"TForm_Options"_s);
    setWindowTitle(u"VELTRAN - Options"_s);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    setFixedSize(263, 276);
    connect(&m_store, &OptionsStore::changed, this, &TForm_Options::showOptions);
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
    connectControls();
}

void TForm_Options::setVisible(bool visible)
{
    if (visible)
        ensureControls(); // before the dialog shows its children
    QDialog::setVisible(visible);
}

void TForm_Options::createControls()
{
    const Options& options = m_store.current();
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

    Edit_Time = new QLineEdit(QString::fromStdString(options.refreshText), Panel1);
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
    CheckBox1 = makeBox(u"CheckBox1"_s, u"Show listening ports"_s, 48, 129, options.showListening);
    CheckBox2 = makeBox(u"CheckBox2"_s, u"Show TCP connections"_s, 72, 137, options.showTcp);
    CheckBox3 = makeBox(u"CheckBox3"_s, u"Show UDP connections"_s, 96, 145, options.showUdp);
    CheckBox4 = makeBox(u"CheckBox4"_s, u"Lookup hostnames"_s, 120, 177, options.lookupHostNames);
    CheckBox5 = makeBox(u"CheckBox5"_s, u"Lookup portnames"_s, 144, 121, options.lookupPortNames);
    CheckBox6 = makeBox(u"CheckBox6"_s, u"Cache DNS"_s, 168, 97, options.cacheDns);
    CheckBox7 = makeBox(u"CheckBox7"_s, u"Logfile name"_s, 192, 81, options.logEnabled);
    CheckBox7->resize(std::clamp(CheckBox7->width(), 81, 120 - 32 - 2), 17);
    CheckBox7->setToolTip(kLogHint);

    Edit1 = new QLineEdit(QString::fromStdString(options.logFileName), Panel1);
    Edit1->setObjectName(u"Edit1"_s);
    Edit1->setGeometry(120, 188, 121, 21);
    Edit1->setMaxLength(static_cast<int>(ConnectionLog::kMaxNameLength));
    Edit1->setEnabled(options.logEnabled);
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
    const auto bind = [this](QCheckBox* box, bool Options::*option) {
        connect(box, &QCheckBox::toggled, this, [this, option](bool ticked) { m_store.set(option, ticked); });
    };
    bind(CheckBox1, &Options::showListening);
    bind(CheckBox2, &Options::showTcp);
    bind(CheckBox3, &Options::showUdp);
    bind(CheckBox4, &Options::lookupHostNames);
    bind(CheckBox5, &Options::lookupPortNames);
    bind(CheckBox6, &Options::cacheDns);
    bind(CheckBox7, &Options::logEnabled);
    connect(Edit_Time, &QLineEdit::textChanged, this,
        [this](const QString& text) { m_store.set(&Options::refreshText, text.toStdString()); });
    connect(Edit1, &QLineEdit::textChanged, this,
        [this](const QString& text) { m_store.set(&Options::logFileName, text.toStdString()); });
    connect(Button1, &QPushButton::clicked, this, &TForm_Options::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm_Options::Button2Click);
}

void TForm_Options::showOptions(const Options& now, const Options& before)
{
    // Edit1Change: any change of the name, by the user or by a load, counts for Ok.
    if (now.logFileName != before.logFileName)
        m_logNameChanged = true;
    if (!Panel1)
        return; // the controls, once made, take the store's options then
    const std::pair<QCheckBox*, bool Options::*> boxes[] = {
        { CheckBox1, &Options::showListening },
        { CheckBox2, &Options::showTcp },
        { CheckBox3, &Options::showUdp },
        { CheckBox4, &Options::lookupHostNames },
        { CheckBox5, &Options::lookupPortNames },
        { CheckBox6, &Options::cacheDns },
        { CheckBox7, &Options::logEnabled },
    };
    for (const auto& [box, option] : boxes)
        box->setChecked(now.*option);
    // CheckBox7Click: the name field follows the box, only when the box changes.
    if (now.logEnabled != before.logEnabled)
        Edit1->setEnabled(now.logEnabled);
    const QString refresh = QString::fromStdString(now.refreshText);
    if (Edit_Time->text() != refresh)
        Edit_Time->setText(refresh);
    const QString name = QString::fromStdString(now.logFileName);
    if (Edit1->text() != name)
        Edit1->setText(name);
}

void TForm_Options::Button1Click()
{
    Q_ASSERT(QThread::currentThread() == thread());
    const int seconds = m_store.confirmRefreshTime();
    Q_EMIT refreshIntervalApplied(seconds * 1000);
    QDialog::accept();
    m_store.saveSettings();
    if (m_logNameChanged)
        m_store.startLogSession();
    m_logNameChanged = false;
}

void TForm_Options::Button2Click()
{
    QDialog::reject();
    m_store.loadSettings();
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
