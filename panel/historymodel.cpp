#include "panel/historymodel.h"

#include "history/historywords.h"

using State = CheckResult::State;

namespace {
QString lastResultWords(const HistoryResult &result) {
    switch (result.state) {
        case State::Answered:
            return result.roundTripMs >= 0
                       ? QStringLiteral("answered in %1 ms").arg(formatMs(result.roundTripMs))
                       : QStringLiteral("answered");
        case State::NoAnswer:
            return result.detail.isEmpty() ? QStringLiteral("no answer")
                                           : QStringLiteral("no answer: %1").arg(result.detail);
        case State::CouldNotCheck:
            break;
    }
    return result.detail.isEmpty() ? QStringLiteral("could not check")
                                   : QStringLiteral("could not check: %1").arg(result.detail);
}

// Worse is higher: what sorts first when a column is sorted worst first.
int badness(State state) {
    switch (state) {
        case State::Answered:
            return 0;
        case State::CouldNotCheck:
            return 1;
        case State::NoAnswer:
            break;
    }
    return 2;
}

QString ms(double value) { return value >= 0 ? formatMs(value) : QString(); }

// A cell copied for a spreadsheet: a tab or line break inside would start another cell or line.
QString oneCell(QString text) {
    for (QChar &c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r') c = u' ';
    }
    return text;
}
}  // namespace

HistoryModel::HistoryModel(const SessionHistory &history, QObject *parent)
    : QAbstractTableModel(parent), m_history(history) {
    rebuildRows();
    m_tell.setSingleShot(true);
    m_tell.setInterval(0);
    connect(&m_tell, &QTimer::timeout, this, [this] { tellChanges(); });
    connect(&history, &SessionHistory::recorded, this,
            [this](const QString &address) { noteRecorded(address); });
    connect(&history, &SessionHistory::rowsChanged, this, [this] {
        beginResetModel();
        rebuildRows();
        endResetModel();
    });
}

void HistoryModel::rebuildRows() {
    m_rowsOf.clear();
    const std::vector<Host> &rows = m_history.rows();
    for (int row = 0; row < static_cast<int>(rows.size()); ++row)
        m_rowsOf.emplace(rows[row].address, row);
    m_cache.assign(rows.size(), Cached());
    m_changed.clear();
}

void HistoryModel::noteRecorded(const QString &address) {
    const auto [first, last] = m_rowsOf.equal_range(address);
    for (auto it = first; it != last; ++it) {
        m_cache[it->second] = Cached();
        m_changed.insert(it->second);
    }
    if (!m_changed.empty()) m_tell.start();
}

void HistoryModel::tellChanges() {
    // One signal per run of neighbouring rows, from the last result on (a row's label and
    // address stay): a view repaints those cells and no other.
    auto row = m_changed.begin();
    while (row != m_changed.end()) {
        const int first = *row;
        int last = first;
        while (++row != m_changed.end() && *row == last + 1) ++last;
        emit dataChanged(index(first, LastResult), index(last, kColumns - 1));
    }
    m_changed.clear();
}

int HistoryModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_history.rows().size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : kColumns;
}

const HostStats &HistoryModel::sessionOf(int row) const {
    Cached &cached = m_cache[row];
    if (!cached.session) cached.session = m_history.statsOf(host(row).address);
    return *cached.session;
}

const HostStats &HistoryModel::recentOf(int row) const {
    Cached &cached = m_cache[row];
    if (!cached.recent) cached.recent = m_history.recentStatsOf(host(row).address, kStripLength);
    return *cached.recent;
}

QString HistoryModel::text(int row, int column) const {
    const HostStats &session = sessionOf(row);
    switch (static_cast<Column>(column)) {
        case Label:
            return host(row).label;
        case Address:
            return host(row).address;
        case LastResult:
            return session.last ? lastResultWords(*session.last) : QString();
        case LastAt:
            return session.last ? describeTime(session.lastAt, m_history.timeOf(m_history.nowMs()))
                                : QString();
        case Loss:
            return describeLoss(session);
        case Min:
            return ms(session.minMs);
        case Average:
            return ms(session.averageMs);
        case Max:
            return ms(session.maxMs);
        case Jitter:
            return ms(session.jitterMs);
        case Recent:
            break;
    }
    return session.results() > 0 ? describeHistory(recentOf(row)) : QString();
}

QVariant HistoryModel::sortValue(int row, int column) const {
    const HostStats &session = sessionOf(row);
    switch (static_cast<Column>(column)) {
        case Label:
        case Address:
            return text(row, column);
        case LastResult:
            return session.last ? badness(session.last->state) : -1;
        case LastAt:
            return session.last ? session.last->atMs : qint64{-1};
        case Loss:
            return session.sent > 0 ? session.lossShare() : -1.0;
        case Min:
            return session.minMs;
        case Average:
            return session.averageMs;
        case Max:
            return session.maxMs;
        case Jitter:
            return session.jitterMs;
        case Recent:
            break;
    }
    const HostStats &recent = recentOf(row);
    return recent.sent > 0 ? recent.lossShare() : -1.0;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return QVariant();
    const int row = index.row();
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return column == Recent ? QVariant() : QVariant(text(row, column));
        case SortRole:
            return sortValue(row, column);
        case StripRole: {
            if (column != Recent) return QVariant();
            HistoryStrip strip;
            for (const HistoryResult &result : m_history.recentOf(host(row).address, kStripLength))
                strip.push_back({result.state, float(result.roundTripMs)});
            return QVariant::fromValue(strip);
        }
        case Qt::AccessibleTextRole:
            return column == Recent ? QVariant(describeHistory(recentOf(row))) : QVariant();
        case Qt::AccessibleDescriptionRole:
            // The row's first cell and its strip also say how the whole session went.
            if (column == Label || column == Recent)
                return QStringLiteral("whole session: %1").arg(describeHistory(sessionOf(row)));
            return QVariant();
        case Qt::ToolTipRole:
            if (column == Recent && sessionOf(row).results() > 0)
                return QStringLiteral("Last %1: %2\nWhole session: %3")
                    .arg(std::min<qint64>(kStripLength, recentOf(row).results()))
                    .arg(describeHistory(recentOf(row)), describeHistory(sessionOf(row)));
            if (column == LastResult) return text(row, column);
            return QVariant();
        case Qt::TextAlignmentRole:
            return column >= Loss && column <= Jitter ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                                      : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return QVariant();
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return QVariant();
    static const char *const kTitles[kColumns] = {
        "Host",     "Address",      "Last result", "At",          "Lost / sent",
        "Min (ms)", "Average (ms)", "Max (ms)",    "Jitter (ms)", "Recent results"};
    static const char *const kTips[kColumns] = {
        "The row's label",
        "The row's address",
        "How the last check ended",
        "When the last check ended",
        "Replies lost of requests sent over the session; checks that could not be made count as "
        "neither",
        "The shortest round-trip time of the session",
        "The mean round-trip time of the session",
        "The longest round-trip time of the session",
        "The mean difference between the round-trip times of consecutive replies",
        "The last 60 results, newest at the right: a bar's height is the round-trip time (0.05 to "
        "500 ms, logarithmic); a red bar to the top is a lost reply, an amber one hanging from the "
        "top a check that could not be made"};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromLatin1(kTitles[section]);
        case Qt::ToolTipRole:
            return QString::fromLatin1(kTips[section]);
        case Qt::InitialSortOrderRole:
            // Worst first: the most lost, the slowest, the newest.
            return section == Label || section == Address ? Qt::AscendingOrder
                                                          : Qt::DescendingOrder;
        default:
            return QVariant();
    }
}

QString HistoryModel::tabSeparated(const std::vector<int> &rows) const {
    QStringList cells;
    for (int column = 0; column < kColumns; ++column)
        cells << headerData(column, Qt::Horizontal).toString();
    QString text = cells.join(u'\t') + u'\n';
    for (const int row : rows) {
        cells.clear();
        for (int column = 0; column < kColumns; ++column) cells << oneCell(this->text(row, column));
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}
