#include "help/tform_about.h"

#include "help/jpeg_image.h"
#include "help/shell.h"
#include "resources/ui_font.h"

#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <qdrawutil.h>

#include <algorithm>

using namespace Qt::StringLiterals;

// Resources of a static library are registered by hand; must stay outside any namespace.
static void initAboutResources()
{
    Q_INIT_RESOURCE(about);
}

namespace {

const QColor kBackground(0x2A, 0x2A, 0x2A);

} // namespace

TForm_About::TForm_About(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    initAboutResources();
    setObjectName(u"TForm_About"_s);
    setWindowTitle(u"About VELTRAN"_s);
    setModal(false);
    setFixedSize(337 + 2 * kBorder, 278 + 2 * kBorder);

    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
}

void TForm_About::ensureControls()
{
    if (ClientArea)
        return;
    // Made at the first show, not at start-up: its fonts and its picture's decoding
    // would otherwise delay the main window's first map.
    setFont(uiFont({ u"MS Sans Serif"_s, u"Microsoft Sans Serif"_s, u"Liberation Sans"_s, u"Nimbus Sans"_s },
        11, false));

    ClientArea = new QWidget(this);
    ClientArea->setObjectName(u"ClientArea"_s);
    ClientArea->setGeometry(kBorder, kBorder, 337, 278);
    ClientArea->setAutoFillBackground(true);

    // The picture starts 120 pixels left of the client area, so its left part is cut off.
    Image1 = new QLabel(ClientArea);
    Image1->setObjectName(u"Image1"_s);
    Image1->setGeometry(-120, 0, 473, 290);
    Image1->setAlignment(Qt::AlignCenter);
    const QImage picture = decodeJpeg([] {
        QFile file(u":/about/about.jpg"_s);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }());
    if (!picture.isNull())
        Image1->setPixmap(QPixmap::fromImage(picture));

    const QFont title = uiFont({ u"Trebuchet MS"_s, u"DejaVu Sans"_s }, 13, true);
    Label3 = makeLabel(u"Label3"_s, u"  VELTRAN 3.3   "_s, title, { 192, 16, 130, 18 });
    Label10 = makeLabel(u"Label10"_s, u"Network Monitor"_s, title, { 200, 32, 115, 18 });
    Label5 = makeLabel(u"Label5"_s, u"E-MAIL:"_s, title, { 232, 64, 46, 18 });
    Label1 = makeLink(u"Label1"_s, QString::fromLatin1(kAdminAddress), { 192, 88, 115, 13 });
    Label2 = makeLink(u"Label2"_s, QString::fromLatin1(kSalesAddress), { 192, 112, 111, 13 });
    Label6 = makeLabel(u"Label6"_s, u"WWW:"_s, title, { 232, 136, 41, 18 });
    Label7 = makeLink(u"Label7"_s, QString::fromLatin1(kWebAddressShown), { 176, 160, 139, 13 });

    Button1 = new QPushButton(u"OK"_s, ClientArea);
    Button1->setObjectName(u"Button1"_s);
    Button1->setGeometry(216, 192, 75, 25);
    Button1->setCursor(Qt::PointingHandCursor);
    Button1->setDefault(true);
    QPalette buttonPalette = QDialog::palette();
    buttonPalette.setColor(QPalette::ButtonText, Qt::black);
    buttonPalette.setColor(QPalette::WindowText, Qt::black);
    Button1->setPalette(buttonPalette);
    connect(Button1, &QPushButton::clicked, this, &TForm_About::Button1Click);
}

TForm_About::~TForm_About() = default;

QLabel* TForm_About::makeLabel(const QString& name, const QString& text, const QFont& font, QRect place)
{
    auto* label = new QLabel(text, ClientArea);
    label->setObjectName(name);
    label->setFont(font);
    // Opaque, in the window's colour, over the picture.
    label->setAutoFillBackground(true);
    // Sized to the text, as the captions were laid out for fonts this platform may lack.
    place.setWidth(std::max(place.width(), label->sizeHint().width()));
    place.setHeight(std::max(place.height(), label->sizeHint().height()));
    label->setGeometry(place);
    return label;
}

QLabel* TForm_About::makeLink(const QString& name, const QString& text, QRect place)
{
    QFont font = this->font();
    font.setBold(true);
    font.setUnderline(true);
    QLabel* label = makeLabel(name, text, font, place);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::yellow);
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(this);
    return label;
}

bool TForm_About::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Label1)
            Label1Click();
        else if (watched == Label2)
            Label2Click();
        else if (watched == Label7)
            Label7Click();
    }
    return QDialog::eventFilter(watched, event);
}

void TForm_About::Label1Click()
{
    openInShell(std::string("mailto:") + kAdminAddress);
}

void TForm_About::Label2Click()
{
    openInShell(std::string("mailto:") + kSalesAddress);
}

void TForm_About::Label7Click()
{
    openInShell(kWebAddress);
}

void TForm_About::Button1Click()
{
    hide();
}

void TForm_About::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    qDrawWinPanel(&painter, rect(), QPalette(kBackground.lighter(300)), false);
}

void TForm_About::setVisible(bool visible)
{
    if (visible)
        ensureControls(); // before the dialog shows its children
    QDialog::setVisible(visible);
}

void TForm_About::showEvent(QShowEvent* event)
{
    if (!m_centred) {
        if (QScreen* display = screen())
            move(display->availableGeometry().center() - rect().center());
        m_centred = true;
    }
    QDialog::showEvent(event);
}
