#include "gui/labelelider.h"

#include <QEvent>
#include <QLabel>

LabelElider::LabelElider(QLabel* label) : QObject(label), m_label(label) {
    label->installEventFilter(this);
}

void LabelElider::setText(const QString& text) {
    m_text = text;
    apply();
}

bool LabelElider::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label &&
        (event->type() == QEvent::Resize || event->type() == QEvent::FontChange))
        apply();
    return QObject::eventFilter(watched, event);
}

void LabelElider::apply() {
    const int room = m_label->contentsRect().width() - 2 * m_label->margin() - m_label->indent();
    const QString shown = m_label->fontMetrics().elidedText(m_text, Qt::ElideRight, qMax(room, 0));
    m_label->setText(shown);
    m_label->setToolTip(shown == m_text ? QString() : m_text);
}
