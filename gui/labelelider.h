#pragma once

#include <QObject>
#include <QString>

class QLabel;

// Keeps a one-line label whole in sight: a text longer than the label's width ends in "…"
// rather than being cut, and the whole text is the label's tooltip. Owned by the label.
class LabelElider : public QObject {
public:
    explicit LabelElider(QLabel* label);
    void setText(const QString& text);
    const QString& text() const { return m_text; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();
    QLabel* m_label;
    QString m_text;
};
