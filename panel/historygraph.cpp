#include "panel/historygraph.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

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
constexpr double kLeast = 0.001;  // ms: a time of 0 is drawn as this on the logarithmic scale
constexpr qint64 kNever = std::numeric_limits<qint64>::min();

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

// The smallest of 1, 2 and 5 times a power of ten ms that is at least ms, and at least a second.
qint64 roundAtLeast(qint64 ms) {
    for (qint64 power = kSecond;; power *= 10) {
        for (const qint64 factor : {1, 2, 5}) {
            if (factor * power >= ms) return factor * power;
        }
    }
}
}  // namespace

HistoryGraph::HistoryGraph(const SessionHistory &history, QWidget *parent)
    : QWidget(parent), m_history(history) {
    setAccessibleName(QStringLiteral("Whole session of the selected host"));
    m_follow.setSingleShot(true);
    m_follow.setInterval(0);
    connect(&m_follow, &QTimer::timeout, this, [this] { follow(); });
    connect(&history, &SessionHistory::recorded, this, [this](const QString &address) {
        if (m_showing && address == m_address) m_follow.start();
    });
    connect(&history, &SessionHistory::rowsChanged, this, [this] {
        m_follow.stop();
        rebuild();
        update();
    });
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

std::vector<bool> HistoryGraph::columnsWithResults() const {
    std::vector<bool> shown;
    for (const Column &column : m_columns) shown.push_back(column.results);
    return shown;
}

std::vector<bool> HistoryGraph::joinedColumns() const {
    std::vector<bool> shown;
    for (const Column &column : m_columns) shown.push_back(column.joined);
    return shown;
}

std::vector<bool> HistoryGraph::columnsWithLoss() const {
    std::vector<bool> shown;
    for (const Column &column : m_columns) shown.push_back(column.lost || column.lostSomewhere);
    return shown;
}

int HistoryGraph::columnOf(qint64 ms) const {
    const int columns = static_cast<int>(m_columns.size());
    return std::clamp(static_cast<int>(double(ms - m_fromMs) / double(m_toMs - m_fromMs) * columns),
                      0, columns - 1);
}

double HistoryGraph::yOf(double ms) const {
    const double share = (std::log10(std::max(ms, kLeast)) - m_lowDecade) / m_decades;
    return m_plot.bottom() - std::clamp(share, 0.0, 1.0) * m_plot.height();
}

double HistoryGraph::averageY(int column) const {
    return yOf(m_columns[column].sumMs / m_columns[column].timed);
}

bool HistoryGraph::fits(const Item &item) const {
    if (item.toMs - 1 >= m_toMs) return false;
    if (item.averageMs < 0) return true;
    return std::log10(std::max(item.minMs, kLeast)) >= m_lowDecade &&
           std::log10(std::max(item.maxMs, kLeast)) <= m_lowDecade + m_decades;
}

std::pair<int, int> HistoryGraph::place(const Item &item) {
    if (m_lastEndMs != kNever && item.fromMs - m_lastEndMs > m_gapMs) m_broken = true;
    m_lastEndMs = std::max(m_lastEndMs, item.toMs - 1);
    const int first = columnOf(item.fromMs);
    const int last = item.stretch ? columnOf(item.toMs - 1) : first;
    // A loss or a check that could not be made is marked until the next result: it is drawn
    // again with this one.
    int touched = first;
    if (m_lastPlaced >= 0 && m_lastPlaced < first &&
        (m_columns[m_lastPlaced].lost || m_columns[m_lastPlaced].couldNotCheck))
        touched = m_lastPlaced;
    m_lastPlaced = std::max(m_lastPlaced, last);
    for (int c = first; c <= last; ++c) {
        Column &column = m_columns[c];
        column.results = true;
        column.lost = column.lost || (item.lost && !item.stretch);
        column.lostSomewhere = column.lostSomewhere || (item.lost && item.stretch);
        column.couldNotCheck = column.couldNotCheck || item.couldNotCheck;
        if (item.averageMs < 0) continue;
        column.minMs = std::min(column.minMs, item.minMs);
        column.maxMs = std::max(column.maxMs, item.maxMs);
        column.sumMs += item.averageMs;
        ++column.timed;
        if (c != m_lastTimed) {
            // Not across two or more columns of losses alone, as where a host was down: the
            // line would claim answers there. One lost reply between answers leaves it whole.
            int unanswered = 0;
            for (int between = m_lastTimed + 1; between < c; ++between)
                unanswered += m_columns[between].lost || m_columns[between].couldNotCheck;
            column.joined = m_lastTimed >= 0 && !m_broken && unanswered < 2;
            if (column.joined) touched = std::min(touched, m_lastTimed);
            m_lastTimed = c;
            m_broken = false;
        }
    }
    return {touched, last};
}

void HistoryGraph::rebuild() {
    m_message.clear();
    m_columns.clear();
    m_grid.clear();
    m_texts.clear();
    m_placed = 0;
    m_lastEndMs = kNever;
    m_lastTimed = -1;
    m_lastPlaced = -1;
    m_broken = false;
    const HostHistory *host = m_showing ? m_history.find(m_address) : nullptr;
    if (!m_showing) {
        m_message = QStringLiteral("Select a host above to see its whole session here.");
    } else if (!host) {
        m_message = QStringLiteral("%1 has not been checked yet.").arg(m_name);
    }
    if (!host) {
        describe();
        return;
    }
    std::vector<Item> items;
    host->visit(
        [&](const HistoryStretch &s) {
            items.push_back({s.fromMs, s.toMs, s.minMs, s.averageMs, s.maxMs, s.lost > 0,
                             s.couldNotCheck > 0, true});
        },
        [&](const HistoryResult &r) {
            const double ms = r.state == State::Answered ? r.roundTripMs : -1;
            items.push_back({r.atMs, r.atMs + 1, ms, ms, ms, r.state == State::NoAnswer,
                             r.state == State::CouldNotCheck, false});
        });
    m_placed = host->stats().results();

    // The session's time across, with room past its newest result (1 to 2 fortieths of it) for
    // the next ones; its round-trip times up, a decade at least.
    qint64 fromMs = std::numeric_limits<qint64>::max();
    qint64 lastMs = kNever;
    double lowMs = std::numeric_limits<double>::infinity();
    double highMs = 0;
    for (const Item &item : items) {
        fromMs = std::min(fromMs, item.fromMs);
        lastMs = std::max(lastMs, item.toMs - 1);
        if (item.averageMs >= 0) {
            lowMs = std::min(lowMs, item.minMs);
            highMs = std::max(highMs, item.maxMs);
        }
    }
    const qint64 span = std::max(lastMs - fromMs, kMinute);
    const qint64 room = roundAtLeast(span / 40);
    m_fromMs = fromMs;
    m_toMs = fromMs + (span / room + 2) * room;
    if (highMs <= 0) lowMs = highMs = 0.5;
    m_lowDecade = std::floor(std::log10(std::max(lowMs, kLeast)));
    const double highDecade =
        std::max(m_lowDecade + 1, std::ceil(std::log10(std::max(highMs, kLeast))));
    m_decades = highDecade - m_lowDecade;

    // Room for the legend and the lane above, the round-trip labels left, the times below.
    const QFontMetricsF metrics(font());
    const double lineHeight = metrics.height();
    double labelWidth = 0;
    std::vector<double> levels;
    for (double decade = m_lowDecade; decade <= highDecade; ++decade) {
        for (const double factor : {1.0, 2.0, 5.0}) {
            const double ms = factor * std::pow(10.0, decade);
            if (ms > std::pow(10.0, highDecade) + 1e-9) break;
            if (factor != 1.0 && m_decades > 2) continue;  // decades only
            levels.push_back(ms);
            labelWidth = std::max(labelWidth, metrics.horizontalAdvance(formatMs(ms)));
        }
    }
    m_lane = QRectF(labelWidth + 10, lineHeight + 6, 0, kLaneHeight);
    m_plot = QRectF(QPointF(labelWidth + 10, m_lane.bottom() + 3),
                    QPointF(width() - 12, height() - lineHeight - 8));
    m_lane.setRight(m_plot.right());
    if (m_plot.width() < 20 || m_plot.height() < 20) {
        m_message = QStringLiteral("(too small to draw)");
        describe();
        return;
    }

    // The results into their columns. The line breaks at a pause three times the usual one
    // between results, and at least 20 s long.
    m_columns.assign(static_cast<size_t>(m_plot.width()), Column());
    std::vector<qint64> pauses;
    for (size_t i = 1; i < items.size(); ++i) {
        if (!items[i].stretch && !items[i - 1].stretch)
            pauses.push_back(items[i].fromMs - items[i - 1].fromMs);
    }
    m_gapMs = kShortestGap;
    if (!pauses.empty()) {
        const auto middle = pauses.begin() + pauses.size() / 2;
        std::nth_element(pauses.begin(), middle, pauses.end());
        m_gapMs = std::max(kShortestGap, 3 * *middle);
    }
    for (const Item &item : items) place(item);

    // The round-trip scale and the time axis, labelled on whole steps of the local clock.
    for (const double ms : levels) {
        const double y = yOf(ms);
        m_grid.emplace_back(m_plot.left(), y, m_plot.right(), y);
        m_texts.push_back(
            {QPointF(m_plot.left() - 6, y), formatMs(ms), Qt::AlignRight | Qt::AlignVCenter});
    }
    const bool days = m_history.timeOf(m_fromMs).date() != m_history.timeOf(m_toMs).date();
    const qint64 step = labelStep(m_toMs - m_fromMs, m_plot.width(),
                                  metrics.horizontalAdvance(days ? QStringLiteral("00-00 00:00")
                                                                 : QStringLiteral("00:00:00")) +
                                      24);
    const QString format = days             ? QStringLiteral("MM-dd HH:mm")
                           : step < kMinute ? QStringLiteral("HH:mm:ss")
                                            : QStringLiteral("HH:mm");
    const qint64 localStart =
        m_history.startedAt().toMSecsSinceEpoch() + m_history.startedAt().offsetFromUtc() * kSecond;
    for (qint64 local = (localStart + m_fromMs + step - 1) / step * step;
         local - localStart <= m_toMs; local += step) {
        const qint64 ms = local - localStart;
        const double x =
            m_plot.left() + double(ms - m_fromMs) / double(m_toMs - m_fromMs) * m_plot.width();
        m_grid.emplace_back(x, m_plot.top(), x, m_plot.bottom());
        m_texts.push_back({QPointF(x, m_plot.bottom() + 4), m_history.timeOf(ms).toString(format),
                           Qt::AlignHCenter | Qt::AlignTop});
    }
    describe();
}

void HistoryGraph::follow() {
    const HostHistory *host = m_showing ? m_history.find(m_address) : nullptr;
    const qint64 total = host ? host->stats().results() : 0;
    const qint64 fresh = total - m_placed;
    std::vector<Item> items;
    bool fit = host && !m_columns.empty() && fresh > 0 && fresh <= host->resultsKept();
    if (fit) {
        for (const HistoryResult &r : host->recent(static_cast<int>(fresh))) {
            const double ms = r.state == State::Answered ? r.roundTripMs : -1;
            items.push_back({r.atMs, r.atMs + 1, ms, ms, ms, r.state == State::NoAnswer,
                             r.state == State::CouldNotCheck, false});
            fit = fit && fits(items.back());
        }
    }
    if (!fit) {
        rebuild();
        update();
        return;
    }
    int first = static_cast<int>(m_columns.size());
    int last = -1;
    for (const Item &item : items) {
        const auto [from, to] = place(item);
        first = std::min(first, from);
        last = std::max(last, to);
    }
    m_placed = total;
    describe();
    update(QRectF(QPointF(xOf(first) - 2, m_lane.top()), QPointF(xOf(last) + 3, m_plot.bottom()))
               .toAlignedRect());
}

void HistoryGraph::describe() {
    if (!m_message.isEmpty()) {
        setAccessibleDescription(m_message);
        return;
    }
    const QDateTime first = m_history.timeOf(m_fromMs);
    const QDateTime last = m_history.timeOf(m_lastEndMs);
    setAccessibleDescription(QStringLiteral("%1, from %2 to %3")
                                 .arg(describeHistory(m_history.statsOf(m_address)),
                                      describeTime(first, last), describeTime(last, first)));
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

void HistoryGraph::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    const QRect dirty = event->rect();
    painter.fillRect(dirty, palette().base());
    painter.setPen(palette().color(QPalette::Text));
    if (!m_message.isEmpty()) {
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         m_message);
        return;
    }
    if (dirty.top() < m_lane.top()) {
        // The legend.
        const QFontMetricsF metrics(font());
        double x = m_plot.left();
        const auto key = [&](const QColor &color, double keyHeight, const QString &words) {
            painter.fillRect(QRectF(x, 2 + (metrics.height() - keyHeight) / 2, 10, keyHeight),
                             color);
            x += 14;
            const QStaticText &text = layoutOf(words);
            painter.drawStaticText(QPointF(x, 2), text);
            x += text.size().width() + 16;
        };
        key(kAnswered, 2, QStringLiteral("average"));
        key(kBand, 8, QStringLiteral("shortest to longest"));
        key(kLost, 8, QStringLiteral("lost"));
        key(kCouldNotCheck, 8, QStringLiteral("could not check"));
        painter.drawStaticText(QPointF(x, 2),
                               layoutOf(QStringLiteral("(round-trip times in ms, logarithmic)")));
    }
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
        if (dirty.intersects(QRectF(at, size).toAlignedRect())) painter.drawStaticText(at, layout);
    }
    const int columns = static_cast<int>(m_columns.size());
    const int first = std::max(0, static_cast<int>(std::floor(dirty.left() - m_plot.left())) - 1);
    const int last =
        std::min(columns - 1, static_cast<int>(std::ceil(dirty.right() - m_plot.left())) + 1);
    if (first <= last) paintColumns(painter, first, last);
}

void HistoryGraph::paintColumns(QPainter &painter, int first, int last) const {
    // The bands of neighbouring columns as one outline, along their tops and back along their
    // bottoms: Qt's raster engine hands every fill of more than 96 lines to its thread pool, so
    // a fill per column would cost a thread hand-off each.
    QPainterPath bands;
    QPolygonF tops, bottoms;
    const auto endBands = [&] {
        if (tops.isEmpty()) return;
        std::reverse(bottoms.begin(), bottoms.end());
        bands.addPolygon(tops + bottoms);
        bands.closeSubpath();
        tops.clear();
        bottoms.clear();
    };
    // Marks in the lane, joined where they meet: a day of losses is a few shapes.
    std::vector<QRectF> lost, lostSomewhere, couldNotCheck;
    const auto mark = [&](std::vector<QRectF> &marks, int column, double top, double width) {
        const QRectF rect(xOf(column), top, width, kLaneHeight / 2);
        if (!marks.empty() && marks.back().right() >= rect.left()) {
            marks.back().setRight(rect.right());
        } else {
            marks.push_back(rect);
        }
    };
    // A lost reply, or a check that could not be made, holds until the next result: its mark
    // reaches it, so a stretch of them is one stretch of red however sparse the results.
    const int columns = static_cast<int>(m_columns.size());
    const auto untilNext = [&](int column) {
        int next = column + 1;
        while (next < columns && !m_columns[next].results) ++next;
        return next < columns ? std::max(2.0, xOf(next) - xOf(column)) : 2.0;
    };
    for (int c = first; c <= last; ++c) {
        const Column &column = m_columns[c];
        if (column.lost) mark(lost, c, m_lane.top(), untilNext(c));
        if (column.lostSomewhere && !column.lost) mark(lostSomewhere, c, m_lane.top(), 1);
        if (column.couldNotCheck) mark(couldNotCheck, c, m_lane.center().y(), untilNext(c));
        if (column.timed == 0) {
            endBands();
            continue;
        }
        const double top = yOf(column.maxMs);
        const double bottom = std::max(top + 1, yOf(column.minMs));
        tops << QPointF(xOf(c), top) << QPointF(xOf(c) + 1, top);
        bottoms << QPointF(xOf(c), bottom) << QPointF(xOf(c) + 1, bottom);
    }
    endBands();
    painter.fillPath(bands, kBand);
    for (const QRectF &rect : lostSomewhere) painter.fillRect(rect, kLostSomewhere);
    for (const QRectF &rect : lost) painter.fillRect(rect, kLost);
    for (const QRectF &rect : couldNotCheck) painter.fillRect(rect, kCouldNotCheck);

    // The line through the averages, from the column with one before these to the one after.
    int from = first - 1;
    while (from >= 0 && m_columns[from].timed == 0) --from;
    int to = last + 1;
    while (to < columns && m_columns[to].timed == 0) ++to;
    std::vector<int> timed;
    for (int c = std::max(from, 0); c <= std::min(to, columns - 1); ++c) {
        if (m_columns[c].timed > 0) timed.push_back(c);
    }
    QPainterPath line;
    std::vector<QPointF> dots;  // averages joined to no other
    for (size_t i = 0; i < timed.size(); ++i) {
        const int c = timed[i];
        const QPointF point(xOf(c) + 0.5, averageY(c));
        if (i > 0 && m_columns[c].joined) {
            line.lineTo(point);
        } else {
            line.moveTo(point);
        }
        const bool joinedAfter = i + 1 < timed.size() && m_columns[timed[i + 1]].joined;
        if (!m_columns[c].joined && !joinedAfter && c >= first && c <= last) dots.push_back(point);
    }
    // A cosmetic pen of one pixel without antialiasing takes the raster engine's quickest way:
    // a wider one is stroked into a shape first.
    QPen pen(kAnswered, 1);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(line);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAnswered);
    for (const QPointF &dot : dots) painter.drawEllipse(dot, 1.5, 1.5);
}
