#include "app/filter_field.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QToolButton>

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
    , m_menuButton(new QToolButton(this))
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

    m_menuButton->setObjectName(QStringLiteral("FilterOptions"));
    m_menuButton->setMenu(menu);
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    m_menuButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_menuButton->setText(QStringLiteral("\u25BE")); // a small down-pointing triangle
    m_menuButton->setToolTip(QStringLiteral("Filter options"));
    m_menuButton->setAutoRaise(true);
    m_menuButton->setFixedSize(18, 22);
    // Light on the band's dark picture, like the buttons' hover frames.
    m_menuButton->setStyleSheet(QStringLiteral(
        "QToolButton { color: white; border: 1px solid transparent; border-radius: 3px; background: "
        "transparent; }"
        "QToolButton:hover { border-color: rgba(255,255,255,90); background: rgba(255,255,255,28); }"
        "QToolButton::menu-indicator { image: none; width: 0px; }"));
    row->addWidget(m_menuButton);
}
