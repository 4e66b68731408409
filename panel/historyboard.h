#pragma once

#include <QWidget>
#include <memory>

class HistoryGraph;
class HistoryModel;
class QLabel;
class QSortFilterProxyModel;
class QTableView;
class SavePathChooser;
class SessionHistory;

// The window that shows how well each host answered over the session: a line per row of the
// list, in list order until a column is sorted (worst first), with its loss, round-trip figures
// and a strip of its recent results; below, the whole session of the chosen row as a graph. It
// follows the history as results come. Ctrl+C copies the selected lines for a spreadsheet;
// "Save history as CSV..." writes every result of the session to a file the user chooses, the
// only file norvex ever writes.
class HistoryBoard : public QWidget {
public:
    // A window of its own (also with a parent), titled title. chooser asks where to save; null
    // means the system's save dialog.
    HistoryBoard(const SessionHistory &history, const QString &title,
                 SavePathChooser *chooser = nullptr, QWidget *parent = nullptr);
    ~HistoryBoard() override;

    QTableView *table() const { return m_table; }
    HistoryModel *model() const { return m_model; }
    QSortFilterProxyModel *sorted() const { return m_sorted; }
    HistoryGraph *graph() const { return m_graph; }

    // The selected lines (or the current one) as Ctrl+C copies them: in the order shown, after
    // a header line, tab-separated.
    QString selectedText() const;
    void copySelection();
    // Asks where to save, then saves the whole session as CSV; says why in a message box when
    // it could not. Nothing is written when the user cancels.
    void saveAsCsv();

private:
    void showCurrent();
    void showNothingChecked();
    // The label and address columns as wide as their texts, within reason.
    void fitNames();

    const SessionHistory &m_history;
    std::unique_ptr<SavePathChooser> m_systemChooser;
    SavePathChooser *m_chooser;
    HistoryModel *m_model;
    QSortFilterProxyModel *m_sorted;
    QLabel *m_nothingChecked;
    QTableView *m_table;
    QLabel *m_caption;
    HistoryGraph *m_graph;
    QLabel *m_saved;
    QString m_shownAddress;  // the current line's, kept across a reload of the list
};
