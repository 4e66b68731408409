#pragma once

#include <QHash>
#include <QStaticText>
#include <QTimer>
#include <QWidget>
#include <limits>
#include <utility>
#include <vector>

class HostHistory;
class SessionHistory;

// A host's whole session as a graph: time across, round-trip time up on a logarithmic scale.
// Each pixel column shows the results that fell in it: a band from the shortest to the longest
// round-trip time, and a line through the averages that breaks where checking paused (for longer
// than three times the usual pause, and at least 20 s), so such gaps stay empty. A lane above the
// plot marks in red where replies were lost (pale red across a summarised stretch that lost one
// somewhere) and in amber where a check could not be made.
//
// It follows the history as results come. The time axis ends a little past the newest result,
// so most new results fit as they are: they are placed into their columns and only those columns
// are drawn again. One that does not fit (or whose time is off the scale) sets the scales anew
// from the whole session.
class HistoryGraph : public QWidget {
public:
    explicit HistoryGraph(const SessionHistory &history, QWidget *parent = nullptr);

    // Shows the whole session of the host at address, called name in what the graph says.
    void showHost(const QString &address, const QString &name);
    // Shows no host, and says how to choose one.
    void showNone();
    const QString &address() const { return m_address; }

    // What the graph shows, per pixel column of its plot: whether any result fell in it, whether
    // the line through the averages joins it to the column with an average before it, whether a
    // reply was lost in it. For tests.
    std::vector<bool> columnsWithResults() const;
    std::vector<bool> joinedColumns() const;
    std::vector<bool> columnsWithLoss() const;

    QSize sizeHint() const override { return {720, 220}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
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
        bool joined = false;  // the line comes here from the column with an average before
    };
    // One result or summarised stretch, as the graph places it.
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
    struct Text {
        QPointF at;
        QString text;
        Qt::Alignment align;
    };

    // Sets the scales from the whole session of the host and places all of it.
    void rebuild();
    // Places the results that came since, drawing only their columns again; rebuilds when one
    // does not fit the scales.
    void follow();
    // Puts an item into its columns and joins it to the line. Returns the first and last column
    // that need drawing again.
    std::pair<int, int> place(const Item &item);
    bool fits(const Item &item) const;
    int columnOf(qint64 ms) const;
    double xOf(int column) const { return m_plot.left() + column; }
    double yOf(double ms) const;
    double averageY(int column) const;
    void describe();
    // The text laid out once: the labels stay the same from one paint to the next.
    const QStaticText &layoutOf(const QString &text) const;
    void paintColumns(QPainter &painter, int first, int last) const;

    const SessionHistory &m_history;
    bool m_showing = false;
    QString m_address;
    QString m_name;
    QTimer m_follow;  // follows once per turn of the event loop however many results came

    QString m_message;  // shown in place of a graph
    QRectF m_plot;
    QRectF m_lane;
    // The scales.
    qint64 m_fromMs = 0;
    qint64 m_toMs = 1;
    double m_lowDecade = 0;
    double m_decades = 1;
    qint64 m_gapMs = 0;
    // The results placed, and what the next one is joined to.
    std::vector<Column> m_columns;
    qint64 m_placed = 0;  // of all the host's results
    qint64 m_lastEndMs = std::numeric_limits<qint64>::min();
    int m_lastTimed = -1;
    int m_lastPlaced = -1;  // the last column with a result of any kind
    bool m_broken = false;
    std::vector<QLineF> m_grid;
    std::vector<Text> m_texts;
    mutable QHash<QString, QStaticText> m_layouts;
};
