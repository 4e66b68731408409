#pragma once

#include <QWidget>

#include "platform/hostcheck.h"

// The small mark on a row that shows how its last check went: a grey ring of dots while it is
// being checked, a green disc with a tick when the host answered, a violet disc with a clock face
// when it answered slowly (over the chosen limit, two runs in a row), a red square with a cross
// when it did not, an amber triangle with "!" when it could not be checked. Shape, sign and colour
// each tell the states apart; all are drawn, so they stay sharp at any scale. It sits on the
// band, in the band's colour, so no label text shows through it.
class CheckMark : public QWidget {
public:
    enum class Look { Checking, Answered, Slow, NoAnswer, CouldNotCheck };

    explicit CheckMark(QWidget *parent);
    Look look() const { return m_look; }
    void setLook(Look look);
    void setBackground(const QColor &color);
    // An old result is drawn faded, so that it is never taken for a current one.
    bool stale() const { return m_stale; }
    void setStale(bool stale);

    static Look lookOf(CheckResult::State state);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Look m_look = Look::Checking;
    QColor m_background;
    bool m_stale = false;
};
