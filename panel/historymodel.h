#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QTimer>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "history/sessionhistory.h"

// One bar of a row's strip of recent results.
struct StripBar {
    CheckResult::State state;
    float roundTripMs;  // -1 when unknown or not answered
};
using HistoryStrip = QList<StripBar>;
Q_DECLARE_METATYPE(HistoryStrip)

// The session's history as a table: one line per row of the list, in list order, with the last
// result, the loss and the round-trip figures over the session and a strip of the recent results.
// It follows the history: a result updates its host's lines (once per turn of the event loop,
// however many results came), new rows reset it.
class HistoryModel : public QAbstractTableModel {
public:
    enum Column { Label, Address, LastResult, LastAt, Loss, Min, Average, Max, Jitter, Recent };
    static constexpr int kColumns = Recent + 1;
    enum Role {
        SortRole = Qt::UserRole,  // a number for every column but the texts: higher is worse
        StripRole,                // a HistoryStrip, oldest first, for the Recent column
    };
    // Results the strip shows.
    static constexpr int kStripLength = 60;

    explicit HistoryModel(const SessionHistory &history, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const Host &host(int row) const { return m_history.rows()[row]; }
    // The whole session of a row, and in words.
    const HostStats &sessionOf(int row) const;
    // The lines of these rows, in this order, as tab-separated text that a spreadsheet pastes:
    // a header line first, every line ended by a line break, round-trip times in ms as plain
    // numbers, the strip as its words.
    QString tabSeparated(const std::vector<int> &rows) const;

private:
    struct Cached {
        std::optional<HostStats> session;
        std::optional<HostStats> recent;
    };
    const HostStats &recentOf(int row) const;
    QString text(int row, int column) const;
    QVariant sortValue(int row, int column) const;
    void rebuildRows();
    void noteRecorded(const QString &address);
    void tellChanges();

    const SessionHistory &m_history;
    std::multimap<QString, int> m_rowsOf;  // rows by address
    mutable std::vector<Cached> m_cache;   // by row, filled as asked for
    std::set<int> m_changed;               // rows not yet told as changed
    QTimer m_tell;
};
