#include "panel/historyboard.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "history/historycsv.h"
#include "history/historywords.h"
#include "history/sessionhistory.h"
#include "panel/historydelegates.h"
#include "panel/historygraph.h"
#include "panel/historymodel.h"
#include "platform/savepath.h"

HistoryBoard::HistoryBoard(const SessionHistory &history, const QString &title,
                           SavePathChooser *chooser, QWidget *parent)
    : QWidget(parent, Qt::Window), m_history(history), m_chooser(chooser) {
    setWindowTitle(title);
    setObjectName(QStringLiteral("historyBoard"));

    m_model = new HistoryModel(history, this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(HistoryModel::SortRole);
    m_sorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_sorted->setSortLocaleAware(true);

    m_nothingChecked = new QLabel(
        QStringLiteral(
            "Nothing checked yet: press F5 to check all hosts, or Shift+F5 to keep checking."),
        this);
    m_nothingChecked->setObjectName(QStringLiteral("nothingChecked"));
    m_nothingChecked->setWordWrap(true);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("historyTable"));
    m_table->setAccessibleName(QStringLiteral("Hosts"));
    m_table->setModel(m_sorted);
    m_table->setItemDelegate(new TextCellDelegate(m_table));
    m_table->setItemDelegateForColumn(HistoryModel::Recent, new StripDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setShowGrid(false);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    QHeaderView *header = m_table->horizontalHeader();
    // List order until a column is chosen; a third click on a column goes back to it.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    header->setSortIndicatorClearable(true);
    m_table->setSortingEnabled(true);
    // Widths from the texts a column holds at most, so that they never jump as results come.
    const QFontMetrics metrics(m_table->font());
    const auto widthFor = [&](int column, const QString &widest) {
        const int title =
            metrics.horizontalAdvance(m_model->headerData(column, Qt::Horizontal).toString());
        m_table->setColumnWidth(column,
                                std::max(title + 28, metrics.horizontalAdvance(widest) + 16));
    };
    fitNames();
    widthFor(HistoryModel::LastResult, QStringLiteral("answered in 0.045 ms"));
    widthFor(HistoryModel::LastAt, QStringLiteral("00:00:00"));
    widthFor(HistoryModel::Loss, QStringLiteral("999 / 9999 (99.9 %)"));
    for (const int column :
         {HistoryModel::Min, HistoryModel::Average, HistoryModel::Max, HistoryModel::Jitter})
        widthFor(column, QStringLiteral("0.045"));
    m_table->setColumnWidth(HistoryModel::Recent, HistoryModel::kStripLength * 4 + 8);
    // A wider window gives the last result's words more room.
    header->setSectionResizeMode(HistoryModel::LastResult, QHeaderView::Stretch);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("graphCaption"));
    m_caption->setTextFormat(Qt::PlainText);
    m_graph = new HistoryGraph(history, this);
    m_graph->setObjectName(QStringLiteral("historyGraph"));

    auto *save = new QPushButton(QStringLiteral("&Save history as CSV\u2026"), this);
    save->setObjectName(QStringLiteral("saveCsv"));
    m_saved = new QLabel(this);
    m_saved->setObjectName(QStringLiteral("savedNote"));
    m_saved->setTextFormat(Qt::PlainText);
    connect(save, &QPushButton::clicked, this, [this] { saveAsCsv(); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(save);
    buttons->addWidget(m_saved, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_nothingChecked);
    layout->addWidget(m_table, 3);
    layout->addWidget(m_caption);
    layout->addWidget(m_graph, 2);
    layout->addLayout(buttons);

    auto *copy = new QAction(QStringLiteral("Copy"), this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, [this] { copySelection(); });
    addAction(copy);
    auto *close = new QAction(QStringLiteral("Close"), this);
    close->setShortcuts({QKeySequence::Close, QKeySequence(Qt::CTRL | Qt::Key_W)});
    close->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { showCurrent(); });
    // After new rows, the line of the host shown before, if the list still has it.
    connect(m_sorted, &QAbstractItemModel::modelReset, this, [this] {
        int row = 0;
        for (int i = 0; i < m_model->rowCount(); ++i) {
            if (m_model->host(i).address == m_shownAddress) {
                row = i;
                break;
            }
        }
        const QModelIndex line = m_sorted->mapFromSource(m_model->index(row, 0));
        m_table->selectionModel()->setCurrentIndex(
            line, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        showCurrent();
        showNothingChecked();
        fitNames();
    });
    connect(&history, &SessionHistory::recorded, this, [this](const QString &address) {
        if (address == m_shownAddress) showCurrent();
        if (!m_nothingChecked->isHidden()) showNothingChecked();
    });

    if (m_model->rowCount() > 0) {
        m_table->selectionModel()->setCurrentIndex(
            m_sorted->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    showCurrent();
    showNothingChecked();
    m_table->setFocus();
    // Wide enough for every column with room for the last result's words.
    int width = 220;
    for (int column = 0; column < HistoryModel::kColumns; ++column)
        width += column == HistoryModel::LastResult ? 0 : m_table->columnWidth(column);
    width += 2 * layout->contentsMargins().left() + m_table->frameWidth() * 2;
    if (const QScreen *shown = screen())
        width = std::min(width, shown->availableGeometry().width() - 40);
    resize(width, 680);
}

HistoryBoard::~HistoryBoard() = default;

void HistoryBoard::fitNames() {
    for (const int column : {HistoryModel::Label, HistoryModel::Address}) {
        m_table->resizeColumnToContents(column);
        m_table->setColumnWidth(column, std::min(m_table->columnWidth(column), 260));
    }
}

void HistoryBoard::showNothingChecked() { m_nothingChecked->setVisible(!m_history.checkedAny()); }

void HistoryBoard::showCurrent() {
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    if (!current.isValid()) {
        m_shownAddress.clear();
        m_caption->setText(QStringLiteral("Whole session"));
        m_graph->showNone();
        return;
    }
    const int row = m_sorted->mapToSource(current).row();
    const Host &host = m_model->host(row);
    const QString name = host.label.isEmpty() ? host.address : host.label;
    m_shownAddress = host.address;
    m_caption->setText(QStringLiteral("Whole session of %1 (%2): %3")
                           .arg(name, host.address, describeHistory(m_model->sessionOf(row))));
    if (m_graph->address() != host.address) m_graph->showHost(host.address, name);
}

QString HistoryBoard::selectedText() const {
    std::vector<int> lines;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        lines.push_back(index.row());
    if (lines.empty() && m_table->selectionModel()->currentIndex().isValid())
        lines.push_back(m_table->selectionModel()->currentIndex().row());
    std::sort(lines.begin(), lines.end());
    std::vector<int> rows;
    for (const int line : lines)
        rows.push_back(m_sorted->mapToSource(m_sorted->index(line, 0)).row());
    return m_model->tabSeparated(rows);
}

void HistoryBoard::copySelection() { QGuiApplication::clipboard()->setText(selectedText()); }

void HistoryBoard::saveAsCsv() {
    if (!m_chooser) {
        m_systemChooser = makeSystemSavePathChooser();
        m_chooser = m_systemChooser.get();
    }
    const QString suggested =
        QStringLiteral("norvex history %1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HHmm")));
    const QString path =
        m_chooser->chooseSavePath(this, QStringLiteral("Save history as CSV"), suggested,
                                  QStringLiteral("CSV files"), QStringLiteral("csv"));
    if (path.isEmpty()) return;
    const QString error = saveHistoryCsv(path, m_history.rows(), m_history);
    if (error.isEmpty()) {
        m_saved->setText(QStringLiteral("Saved as %1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    m_saved->clear();
    // Window-modal but not blocking: results keep coming meanwhile.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("norvex"), error,
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("saveFailed"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
