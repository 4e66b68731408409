#include "panel/historygraph.h"

#include <QEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "history/historywords.h"
#include "history/sessionhistory.h"

using State = CheckResult::State;

namespace {
const QColor kAnswered(0x1b, 0x7f, 0x3b);
const QColor kBand(0x1b, 0x7f, 0x3b, 70);
const QColor kLost(0xc6, 0x28, 0x28);
const QColor kLostSomewhere(0xc6, 0x28, 0x28, 90);
const QColor kCouldNotCheck(0xa8, 0x5a, 0x00);

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;
constexpr qint64 kShortestGap = 20 * kSecond;
constexpr double kLaneHeight = 8;

// What fell into one pixel column of the plot.
struct Column {
    double minMs = std::numeric_limits<double>::infinity();
    double maxMs = 0;
    double sumMs = 0;
    int timed = 0;  // averages added
    bool results = false;
    bool lost = false;
    bool lostSomewhere = false;
    bool couldNotCheck = false;
};

// One thing the history holds, result or summarised stretch, as the graph places it.
struct Item {
    qint64 fromMs;
    qint64 toMs;  // past its end; fromMs + 1 for a single result
    double minMs;
    double averageMs;  // -1 when it has no round-trip time
    double maxMs;
    bool lost;
    bool couldNotCheck;
    bool stretch;
};

std::vector<Item> itemsOf(const HostHistory &host) {
    std::vector<Item> items;
    host.visit(
        [&](const HistoryStretch &s) {
            items.push_back({s.fromMs, s.toMs, s.minMs, s.averageMs, s.maxMs, s.lost > 0,
                             s.couldNotCheck > 0, true});
        },
        [&](const HistoryResult &r) {
            const double ms = r.state == State::Answered ? r.roundTripMs : -1;
            items.push_back({r.atMs, r.atMs + 1, ms, ms, ms, r.state == State::NoAnswer,
                             r.state == State::CouldNotCheck, false});
        });
    return items;
}

// A pause longer than this is a gap: three times the usual pause between results, at least 20 s.
qint64 gapAfter(const std::vector<Item> &items) {
    std::vector<qint64> pauses;
    for (size_t i = 1; i < items.size(); ++i) {
        if (!items[i].stretch && !items[i - 1].stretch)
            pauses.push_back(items[i].fromMs - items[i - 1].fromMs);
    }
    if (pauses.empty()) return kShortestGap;
    const auto middle = pauses.begin() + pauses.size() / 2;
    std::nth_element(pauses.begin(), middle, pauses.end());
    return std::max(kShortestGap, 3 * *middle);
}

// The time between labels on the time axis: the shortest that leaves room for a label each.
qint64 labelStep(qint64 span, double width, double labelWidth) {
    static const qint64 kSteps[] = {
        kSecond,  2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
        kMinute,  2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
        kHour,    2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
        2 * kDay, 7 * kDay,    14 * kDay,   28 * kDay};
    for (const qint64 step : kSteps) {
        if (double(step) / double(span) * width >= labelWidth) return step;
    }
    return span;
}
}  // namespace

HistoryGraph::HistoryGraph(const SessionHistory &history, QWidget *parent)
    : QWidget(parent), m_history(history) {
    setAccessibleName(QStringLiteral("Whole session of the selected host"));
    m_follow.setSingleShot(true);
    m_follow.setInterval(0);
    connect(&m_follow, &QTimer::timeout, this, [this] {
        rebuild();
        update();
    });
    connect(&history, &SessionHistory::recorded, this, [this](const QString &address) {
        if (m_showing && address == m_address) m_follow.start();
    });
    connect(&history, &SessionHistory::rowsChanged, this, [this] { m_follow.start(); });
    rebuild();
}

void HistoryGraph::showHost(const QString &address, const QString &name) {
    m_showing = true;
    m_address = address;
    m_name = name;
    rebuild();
    update();
}

void HistoryGraph::showNone() {
    m_showing = false;
    m_address.clear();
    m_name.clear();
    rebuild();
    update();
}

void HistoryGraph::resizeEvent(QResizeEvent *) { rebuild(); }

void HistoryGraph::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange) m_layouts.clear();
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) rebuild();
    QWidget::changeEvent(event);
}

void HistoryGraph::clearDrawing() {
    m_message.clear();
    m_bands.clear();
    m_lost.clear();
    m_lostSomewhere.clear();
    m_couldNotCheck.clear();
    m_line.clear();
    m_dots.clear();
    m_grid.clear();
    m_texts.clear();
    m_withResults.clear();
    m_joined.clear();
    m_withLoss.clear();
}

void HistoryGraph::rebuild() {
    clearDrawing();
    const HostHistory *host = m_showing ? m_history.find(m_address) : nullptr;
    if (!m_showing) {
        m_message = QStringLiteral("Select a host above to see its whole session here.");
    } else if (!host) {
        m_message = QStringLiteral("%1 has not been checked yet.").arg(m_name);
    }
    if (!host) {
        setAccessibleDescription(m_message);
        return;
    }
    const std::vector<Item> items = itemsOf(*host);

    // The scales: the session's time across, its round-trip times up, a decade at least.
    qint64 fromMs = std::numeric_limits<qint64>::max();
    qint64 toMs = std::numeric_limits<qint64>::min();
    double lowMs = std::numeric_limits<double>::infinity();
    double highMs = 0;
    for (const Item &item : items) {
        fromMs = std::min(fromMs, item.fromMs);
        toMs = std::max(toMs, item.toMs);
        if (item.averageMs >= 0) {
            lowMs = std::min(lowMs, item.minMs);
            highMs = std::max(highMs, item.maxMs);
        }
    }
    toMs = std::max(toMs, fromMs + kMinute);
    const qint64 span = toMs - fromMs;
    if (highMs <= 0) lowMs = highMs = 0.5;
    const double lowDecade = std::floor(std::log10(std::max(lowMs, 0.001)));
    const double highDecade =
        std::max(lowDecade + 1, std::ceil(std::log10(std::max(highMs, 0.001))));

    // Room for the legend and the lane above, the round-trip labels left, the times below.
    const QFontMetricsF metrics(font());
    const double lineHeight = metrics.height();
    double labelWidth = 0;
    std::vector<double> levels;
    for (double decade = lowDecade; decade <= highDecade; ++decade) {
        for (const double factor : {1.0, 2.0, 5.0}) {
            const double ms = factor * std::pow(10.0, decade);
            if (ms > std::pow(10.0, highDecade) + 1e-9) break;
            if (factor != 1.0 && highDecade - lowDecade > 2) continue;  // decades only
            levels.push_back(ms);
            labelWidth = std::max(labelWidth, metrics.horizontalAdvance(formatMs(ms)));
        }
    }
    const double legendBottom = lineHeight + 4;
    m_lane = QRectF(labelWidth + 10, legendBottom + 2, 0, kLaneHeight);
    m_plot = QRectF(QPointF(labelWidth + 10, m_lane.bottom() + 3),
                    QPointF(width() - 12, height() - lineHeight - 8));
    m_lane.setRight(m_plot.right());
    if (m_plot.width() < 20 || m_plot.height() < 20) {
        m_message = QStringLiteral("(too small to draw)");
        return;
    }
    const int columns = static_cast<int>(m_plot.width());
    const auto columnOf = [&](qint64 ms) {
        return std::clamp(static_cast<int>(double(ms - fromMs) / double(span) * columns), 0,
                          columns - 1);
    };
    const double decades = highDecade - lowDecade;
    const auto yOf = [&](double ms) {
        const double share = (std::log10(std::max(ms, 0.001)) - lowDecade) / decades;
        return m_plot.bottom() - std::clamp(share, 0.0, 1.0) * m_plot.height();
    };

    // The results into their columns, noting which columns the average line joins.
    std::vector<Column> cells(columns);
    m_joined.assign(columns, false);
    const qint64 gap = gapAfter(items);
    qint64 lastEnd = std::numeric_limits<qint64>::min();
    int lastTimed = -1;
    bool broken = false;
    for (const Item &item : items) {
        if (lastEnd != std::numeric_limits<qint64>::min() && item.fromMs - lastEnd > gap)
            broken = true;
        lastEnd = std::max(lastEnd, item.toMs - 1);
        const int first = columnOf(item.fromMs);
        const int last = item.stretch ? columnOf(item.toMs - 1) : first;
        for (int c = first; c <= last; ++c) {
            Column &cell = cells[c];
            cell.results = true;
            cell.lost = cell.lost || (item.lost && !item.stretch);
            cell.lostSomewhere = cell.lostSomewhere || (item.lost && item.stretch);
            cell.couldNotCheck = cell.couldNotCheck || item.couldNotCheck;
            if (item.averageMs < 0) continue;
            cell.minMs = std::min(cell.minMs, item.minMs);
            cell.maxMs = std::max(cell.maxMs, item.maxMs);
            cell.sumMs += item.averageMs;
            ++cell.timed;
            if (c != lastTimed) {
                if (lastTimed >= 0 && !broken) m_joined[c] = true;
                lastTimed = c;
                broken = false;
            }
        }
    }

    // The shapes, in pixels.
    const auto xOf = [&](int column) { return m_plot.left() + column; };
    // A mark in the lane, joined to the one before where they meet: a day of losses is a few
    // shapes rather than a thousand.
    const auto mark = [&](std::vector<QRectF> &marks, int column, double top, double width) {
        const QRectF rect(xOf(column), top, width, kLaneHeight / 2);
        if (!marks.empty() && marks.back().right() >= rect.left()) {
            marks.back().setRight(rect.right());
        } else {
            marks.push_back(rect);
        }
    };
    std::vector<bool> inLine(columns, false);
    int previous = -1;
    // The bands of neighbouring columns as one outline: along their tops, back along their
    // bottoms.
    QPolygonF tops, bottoms;
    const auto endBands = [&] {
        if (tops.isEmpty()) return;
        std::reverse(bottoms.begin(), bottoms.end());
        m_bands.addPolygon(tops + bottoms);
        m_bands.closeSubpath();
        tops.clear();
        bottoms.clear();
    };
    for (int c = 0; c < columns; ++c) {
        const Column &cell = cells[c];
        m_withResults.push_back(cell.results);
        m_withLoss.push_back(cell.lost || cell.lostSomewhere);
        if (cell.lost) mark(m_lost, c, m_lane.top(), 2);
        if (cell.lostSomewhere && !cell.lost) mark(m_lostSomewhere, c, m_lane.top(), 1);
        if (cell.couldNotCheck) mark(m_couldNotCheck, c, m_lane.center().y(), 2);
        if (cell.timed == 0) {
            endBands();
            continue;
        }
        const double top = yOf(cell.maxMs);
        const double bottom = std::max(top + 1, yOf(cell.minMs));
        tops << QPointF(xOf(c), top) << QPointF(xOf(c) + 1, top);
        bottoms << QPointF(xOf(c), bottom) << QPointF(xOf(c) + 1, bottom);
        const QPointF point(xOf(c) + 0.5, yOf(cell.sumMs / cell.timed));
        if (m_joined[c] && previous >= 0) {
            if (!inLine[previous])
                m_line.moveTo(xOf(previous) + 0.5,
                              yOf(cells[previous].sumMs / cells[previous].timed));
            m_line.lineTo(point);
            inLine[previous] = inLine[c] = true;
        }
        previous = c;
    }
    endBands();
    for (int c = 0; c < columns; ++c) {
        if (cells[c].timed > 0 && !inLine[c])
            m_dots.emplace_back(xOf(c) + 0.5, yOf(cells[c].sumMs / cells[c].timed));
    }

    // The round-trip scale and the time axis.
    for (const double ms : levels) {
        const double y = yOf(ms);
        m_grid.emplace_back(m_plot.left(), y, m_plot.right(), y);
        m_texts.push_back(
            {QPointF(m_plot.left() - 6, y), formatMs(ms), Qt::AlignRight | Qt::AlignVCenter});
    }
    const QDateTime first = m_history.timeOf(fromMs);
    const bool days = first.date() != m_history.timeOf(toMs).date();
    const qint64 step = labelStep(span, m_plot.width(),
                                  metrics.horizontalAdvance(days ? QStringLiteral("00-00 00:00")
                                                                 : QStringLiteral("00:00:00")) +
                                      24);
    const QString format = days             ? QStringLiteral("MM-dd HH:mm")
                           : step < kMinute ? QStringLiteral("HH:mm:ss")
                                            : QStringLiteral("HH:mm");
    // Labels fall on whole steps of the local clock.
    const qint64 localStart =
        m_history.startedAt().toMSecsSinceEpoch() + m_history.startedAt().offsetFromUtc() * kSecond;
    for (qint64 local = (localStart + fromMs + step - 1) / step * step; local - localStart <= toMs;
         local += step) {
        const qint64 ms = local - localStart;
        const double x = m_plot.left() + double(ms - fromMs) / double(span) * m_plot.width();
        m_grid.emplace_back(x, m_plot.top(), x, m_plot.bottom());
        m_texts.push_back({QPointF(x, m_plot.bottom() + 4), m_history.timeOf(ms).toString(format),
                           Qt::AlignHCenter | Qt::AlignTop});
    }
    setAccessibleDescription(QStringLiteral("%1, from %2 to %3")
                                 .arg(describeHistory(m_history.statsOf(m_address)),
                                      describeTime(first, m_history.timeOf(toMs)),
                                      describeTime(m_history.timeOf(toMs), first)));
}

const QStaticText &HistoryGraph::layoutOf(const QString &text) const {
    auto found = m_layouts.find(text);
    if (found == m_layouts.end()) {
        if (m_layouts.size() > 256) m_layouts.clear();  // labels of times long past
        QStaticText layout(text);
        layout.setTextFormat(Qt::PlainText);
        layout.prepare(QTransform(), font());
        found = m_layouts.insert(text, layout);
    }
    return *found;
}

void HistoryGraph::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().color(QPalette::Text));
    if (!m_message.isEmpty()) {
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         m_message);
        return;
    }
    // The legend.
    const QFontMetricsF metrics(font());
    double x = m_plot.left();
    const double y = 2;
    const auto key = [&](const QColor &color, double keyHeight, const QString &words) {
        painter.fillRect(QRectF(x, y + (metrics.height() - keyHeight) / 2, 10, keyHeight), color);
        x += 14;
        const QStaticText &text = layoutOf(words);
        painter.drawStaticText(QPointF(x, y), text);
        x += text.size().width() + 16;
    };
    painter.setPen(palette().color(QPalette::Text));
    key(kAnswered, 2, QStringLiteral("average"));
    key(kBand, 8, QStringLiteral("shortest to longest"));
    key(kLost, 8, QStringLiteral("lost"));
    key(kCouldNotCheck, 8, QStringLiteral("could not check"));
    painter.drawStaticText(QPointF(x, y),
                           layoutOf(QStringLiteral("(round-trip times in ms, logarithmic)")));

    QColor grid = palette().color(QPalette::Text);
    grid.setAlpha(40);
    painter.setPen(QPen(grid, 1));
    painter.drawLines(m_grid.data(), static_cast<int>(m_grid.size()));
    painter.drawRect(m_plot);
    painter.setPen(palette().color(QPalette::Text));
    for (const Text &text : m_texts) {
        const QStaticText &layout = layoutOf(text.text);
        const QSizeF size = layout.size();
        QPointF at = text.at;
        if (text.align & Qt::AlignRight) at.rx() -= size.width();
        if (text.align & Qt::AlignHCenter) at.rx() -= size.width() / 2;
        if (text.align & Qt::AlignVCenter) at.ry() -= size.height() / 2;
        painter.drawStaticText(at, layout);
    }
    painter.fillPath(m_bands, kBand);
    for (const QRectF &mark : m_lostSomewhere) painter.fillRect(mark, kLostSomewhere);
    for (const QRectF &mark : m_lost) painter.fillRect(mark, kLost);
    for (const QRectF &mark : m_couldNotCheck) painter.fillRect(mark, kCouldNotCheck);
    // A cosmetic pen of one pixel takes the raster engine's quick way for lines: a wide one is
    // stroked into a shape first, which for a day of results costs tens of ms per paint.
    QPen line(kAnswered, 1);
    line.setCosmetic(true);
    painter.setPen(line);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(m_line);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAnswered);
    for (const QPointF &dot : m_dots) painter.drawEllipse(dot, 1.5, 1.5);
}
