#include "panel/stripdelegate.h"

#include <QApplication>
#include <QPainter>
#include <cmath>

#include "panel/historymodel.h"

namespace {
constexpr int kBarWidth = 3;
constexpr int kBarPitch = 4;
constexpr int kMargin = 3;
const QColor kAnswered(0x1b, 0x7f, 0x3b);
const QColor kAnsweredUntimed(0x8c, 0xbf, 0x9b);
const QColor kLost(0xc6, 0x28, 0x28);
const QColor kCouldNotCheck(0xa8, 0x5a, 0x00);
}  // namespace

double StripDelegate::heightOf(double roundTripMs) {
    const double share = std::log10(std::max(roundTripMs, kLowestMs) / kLowestMs) /
                         std::log10(kHighestMs / kLowestMs);
    return 0.1 + 0.9 * std::clamp(share, 0.0, 1.0);
}

void StripDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const {
    // The cell's own background, selection and focus first, as for any other cell.
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    cell.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    const auto strip = index.data(HistoryModel::StripRole).value<HistoryStrip>();
    const QRect area = option.rect.adjusted(kMargin, kMargin, -kMargin, -kMargin);
    if (strip.isEmpty() || area.height() <= 0) return;
    painter->save();
    painter->setClipRect(area);
    const int shown = std::min<int>(strip.size(), area.width() / kBarPitch + 1);
    for (int i = 0; i < shown; ++i) {
        const StripBar &bar = strip[strip.size() - 1 - i];
        const int x = area.right() + 1 - (i + 1) * kBarPitch + (kBarPitch - kBarWidth);
        QRect rect(x, area.top(), kBarWidth, area.height());
        QColor color;
        switch (bar.state) {
            case CheckResult::State::Answered: {
                const bool timed = bar.roundTripMs >= 0;
                const int height = timed ? std::max(2, int(std::lround(heightOf(bar.roundTripMs) *
                                                                       area.height())))
                                         : area.height() / 2;
                rect.setTop(area.bottom() + 1 - height);
                color = timed ? kAnswered : kAnsweredUntimed;
                break;
            }
            case CheckResult::State::NoAnswer:
                color = kLost;
                break;
            case CheckResult::State::CouldNotCheck:
                rect.setHeight(std::max(2, area.height() / 3));
                color = kCouldNotCheck;
                break;
        }
        painter->fillRect(rect, color);
    }
    painter->restore();
}

QSize StripDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const {
    const QSize text = QStyledItemDelegate::sizeHint(option, index);
    return {HistoryModel::kStripLength * kBarPitch + 2 * kMargin, std::max(text.height(), 20)};
}
