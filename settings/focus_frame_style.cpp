#include "settings/focus_frame_style.h"

#include <QPainter>
#include <QStyleOption>

FocusFrameStyle::FocusFrameStyle()
    : QProxyStyle() // over the application's style, which it does not own
{
}

void FocusFrameStyle::drawPrimitive(
    PrimitiveElement element, const QStyleOption* option, QPainter* painter, const QWidget* widget) const
{
    if (element != PE_FrameFocusRect) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Only where the base style would draw one: after the focus moved by keyboard.
    if (!option->state.testFlag(State_KeyboardFocusChange))
        return;
    painter->save();
    QPen pen(Qt::white, 1, Qt::DotLine);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
}
