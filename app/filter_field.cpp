#include "app/filter_field.h"

#include "app/cool_bar.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

namespace {

// The options button shows a small down-pointing triangle. It is drawn rather than set as
// the text "\u25BE": no face the window uses has that glyph, and the search for one that
// has cost the window's start some 3 ms.
class FilterMenuButton final : public BandButton
{
public:
    using BandButton::BandButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        paintFrame(painter);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        const QPointF centre = QRectF(rect()).center() + QPointF(0, 1);
        painter.drawPolygon(
            QPolygonF { centre + QPointF(-3, -1.5), centre + QPointF(3, -1.5), centre + QPointF(0, 2.5) });
    }
};

} // namespace

FilterEdit::FilterEdit(QWidget* parent)
    : QLineEdit(parent)
{
    setObjectName(QStringLiteral("FilterEdit"));
    setPlaceholderText(QStringLiteral("Filter"));
    setToolTip(QStringLiteral("Show only the endpoints whose texts contain this (Ctrl+F; Escape clears)"));
    // The clear button's icon is looked up in the icon theme, which costs the window's start
    // several milliseconds; as the button shows only over a text, it is made with the first one.
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!text.isEmpty() && !isClearButtonEnabled())
            setClearButtonEnabled(true);
    });
}

void FilterEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !text().isEmpty()) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

FilterField::FilterField(QWidget* parent)
    : QWidget(parent)
    , m_edit(new FilterEdit(this))
    , m_menuButton(new FilterMenuButton(this))
{
    setObjectName(QStringLiteral("FilterField"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    m_edit->setFixedWidth(140);
    row->addWidget(m_edit);

    auto* menu = new QMenu(m_menuButton);
    m_hideLoopback = menu->addAction(QStringLiteral("Hide loopback"));
    m_hideLoopback->setObjectName(QStringLiteral("HideLoopback"));
    m_hideLoopback->setCheckable(true);
    m_hideLoopback->setToolTip(QStringLiteral("Leave out endpoints on 127.0.0.0/8 and ::1"));
    m_markNew = menu->addAction(QStringLiteral("Mark new and closed"));
    m_markNew->setObjectName(QStringLiteral("MarkNewRows"));
    m_markNew->setCheckable(true);
    m_markNew->setToolTip(QStringLiteral("Mark rows new since the last refresh and count the closed ones"));
    menu->addSeparator();
    m_preferences = menu->addAction(QStringLiteral("Preferences..."));
    m_preferences->setObjectName(QStringLiteral("Preferences"));

    m_menuButton->setObjectName(QStringLiteral("FilterOptions"));
    m_menuButton->setMenu(menu);
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setToolTip(QStringLiteral("Filter options"));
    m_menuButton->setFixedSize(18, 22);
    row->addWidget(m_menuButton);
}
