#include "panel/historydelegates.h"

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

void TextCellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QString text = std::exchange(cell.text, QString());
    cell.features &= ~QStyleOptionViewItem::HasDisplay;
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    // Background, selection and focus as for any cell, then the text where the style puts it.
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    if (text.isEmpty()) return;
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect area = cell.rect.adjusted(margin, 0, -margin, 0);
    auto layout = m_layouts.find(text);
    if (layout == m_layouts.end()) {
        if (m_layouts.size() >= kMostKept) m_layouts.clear();
        QStaticText made(text);
        made.setTextFormat(Qt::PlainText);
        made.setPerformanceHint(QStaticText::AggressiveCaching);
        made.prepare(QTransform(), cell.font);
        layout = m_layouts.insert(text, made);
    }
    QStaticText shown = *layout;
    if (shown.size().width() > area.width()) {  // too long: cut, as the style would
        shown = QStaticText(cell.fontMetrics.elidedText(text, cell.textElideMode, area.width()));
        shown.setTextFormat(Qt::PlainText);
    }
    const QSizeF size = shown.size();
    const Qt::Alignment align = cell.displayAlignment;
    const double x = align & Qt::AlignRight     ? area.right() + 1 - size.width()
                     : align & Qt::AlignHCenter ? area.left() + (area.width() - size.width()) / 2
                                                : area.left();
    const double y = area.top() + (area.height() - size.height()) / 2;
    const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : cell.state & QStyle::State_Active   ? QPalette::Normal
                                                                             : QPalette::Inactive;
    painter->save();
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(
        group, cell.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawStaticText(QPointF(x, y), shown);
    painter->restore();
}

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
    // The bars of each colour, drawn together.
    QList<QRect> answered, untimed, lost, couldNotCheck;
    const int shown = std::min<int>(strip.size(), area.width() / kBarPitch);
    for (int i = 0; i < shown; ++i) {
        const StripBar &bar = strip[strip.size() - 1 - i];
        const int x = area.right() + 1 - (i + 1) * kBarPitch + (kBarPitch - kBarWidth);
        QRect rect(x, area.top(), kBarWidth, area.height());
        switch (bar.state) {
            case CheckResult::State::Answered: {
                const bool timed = bar.roundTripMs >= 0;
                const int height =
                    timed ? std::max(2, int(std::lround(heightOf(bar.roundTripMs) * area.height())))
                          : area.height() / 2;
                rect.setTop(area.bottom() + 1 - height);
                (timed ? answered : untimed).push_back(rect);
                break;
            }
            case CheckResult::State::NoAnswer:
                lost.push_back(rect);
                break;
            case CheckResult::State::CouldNotCheck:
                rect.setHeight(std::max(2, area.height() / 3));
                couldNotCheck.push_back(rect);
                break;
        }
    }
    painter->save();
    painter->setPen(Qt::NoPen);
    for (const auto &[bars, color] : {std::pair{&answered, kAnswered},
                                      {&untimed, kAnsweredUntimed},
                                      {&lost, kLost},
                                      {&couldNotCheck, kCouldNotCheck}}) {
        painter->setBrush(color);
        painter->drawRects(*bars);
    }
    painter->restore();
}

QSize StripDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const {
    const QSize text = QStyledItemDelegate::sizeHint(option, index);
    return {HistoryModel::kStripLength * kBarPitch + 2 * kMargin, std::max(text.height(), 20)};
}
