#pragma once

#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

// Paints a cell's text as the style would, from a layout kept for each text shown: a board
// repaints most of its cells after every run, and laying their texts out again each time cost
// more than all else it does.
class TextCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // Texts whose layouts are kept; past that, the layouts are made anew.
    static constexpr int kMostKept = 4096;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    mutable QHash<QString, QStaticText> m_layouts;
};

// Paints a row's strip of recent results (HistoryModel::StripRole): one narrow bar per result,
// newest at the right. An answer rises from the bottom as high as its round-trip time on a
// logarithmic scale from 0.05 to 500 ms, so both stay visible; a lost reply is a red bar to the
// top; a check that could not be made an amber bar hanging from the top. Shape tells them apart
// as well as colour.
class StripDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static constexpr double kLowestMs = 0.05;
    static constexpr double kHighestMs = 500;

    // How high an answer's bar stands, as a share of the strip's height: from 0.1 at kLowestMs
    // (and below) to 1 at kHighestMs (and above).
    static double heightOf(double roundTripMs);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
