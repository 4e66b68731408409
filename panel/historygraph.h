#pragma once

#include <QHash>
#include <QPainterPath>
#include <QStaticText>
#include <QTimer>
#include <QWidget>
#include <vector>

class SessionHistory;

// A host's whole session as a graph: time across, round-trip time up on a logarithmic scale.
// Each pixel column shows the results that fell in it: a band from the shortest to the longest
// round-trip time, and a line through the averages that breaks where checking paused (for longer
// than three times the usual pause, and at least 20 s), so such gaps stay empty. A lane above the
// plot marks in red where replies were lost (pale red across a summarised stretch that lost one
// somewhere) and in amber where a check could not be made. It follows the history as results come.
class HistoryGraph : public QWidget {
public:
    explicit HistoryGraph(const SessionHistory &history, QWidget *parent = nullptr);

    // Shows the whole session of the host at address, called name in what the graph says.
    void showHost(const QString &address, const QString &name);
    // Shows no host, and says how to choose one.
    void showNone();
    const QString &address() const { return m_address; }

    // What the graph shows, in pixel columns of its plot: whether any result fell in a column,
    // and whether the line through the averages joins a column to the one before it with data.
    // For tests.
    const std::vector<bool> &columnsWithResults() const { return m_withResults; }
    const std::vector<bool> &joinedColumns() const { return m_joined; }
    const std::vector<bool> &columnsWithLoss() const { return m_withLoss; }

    QSize sizeHint() const override { return {720, 220}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Text {
        QPointF at;
        QString text;
        Qt::Alignment align;
    };
    // Everything paintEvent draws, made once per change of the host, its results or the size.
    void rebuild();
    void clearDrawing();
    // The text laid out once: the labels stay the same from one paint to the next.
    const QStaticText &layoutOf(const QString &text) const;

    const SessionHistory &m_history;
    bool m_showing = false;
    QString m_address;
    QString m_name;
    QTimer m_follow;  // rebuilds once per turn of the event loop however many results came

    QString m_message;  // shown in place of a graph
    QRectF m_plot;
    QRectF m_lane;
    QPainterPath m_bands;  // one shape: many small fills cost a thread hand-off each
    std::vector<QRectF> m_lost;
    std::vector<QRectF> m_lostSomewhere;
    std::vector<QRectF> m_couldNotCheck;
    QPainterPath m_line;
    std::vector<QPointF> m_dots;  // averages joined to no other
    std::vector<QLineF> m_grid;
    std::vector<Text> m_texts;
    std::vector<bool> m_withResults;
    std::vector<bool> m_joined;
    std::vector<bool> m_withLoss;
    mutable QHash<QString, QStaticText> m_layouts;
};
