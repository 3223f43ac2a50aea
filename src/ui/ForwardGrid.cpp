#include "ui/ForwardGrid.h"

#include "routing/Forwarding.h"
#include "support/Convert.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>

namespace vesk::ui {

namespace {

QString expand(std::string text)
{
    text = ReplacePlaceholders(std::move(text));
    text = ReplaceAll(std::move(text), "\\n", "\n");
    text = ReplaceAll(std::move(text), "\\t", "\t");
    return QString::fromStdString(text);
}

QString itemText(const QTableWidgetItem* item)
{
    return item ? item->text() : QString();
}

} // namespace

ForwardGrid::ForwardGrid(QWidget* parent)
    : QTableWidget(0, 4, parent)
{
    setHorizontalHeaderLabels({"Source", "Name", "Keyword", "Destination"});
    horizontalHeader()->setStretchLastSection(true);
    setColumnWidth(kSource, 120);
    setColumnWidth(kName, 120);
    setColumnWidth(kKeyword, 120);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
        | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    connect(this, &QTableWidget::itemChanged, this, [this] {
        if (m_loading)
            return;
        m_edited = true;
        keepBlankRow();
    });
    keepBlankRow();
}

void ForwardGrid::setRules(const std::vector<routing::ForwardRuleRow>& rules)
{
    m_loading = true;
    setRowCount(0);
    setRowCount(int(rules.size()));
    for (int r = 0; r < int(rules.size()); ++r) {
        const auto& rule = rules[std::size_t(r)];
        setItem(r, kSource, new QTableWidgetItem(QString::fromStdString(rule.Source)));
        setItem(r, kName, new QTableWidgetItem(QString::fromStdString(rule.SourceName)));
        setItem(r, kKeyword, new QTableWidgetItem(QString::fromStdString(rule.Keyword)));
        setItem(r, kDestination, new QTableWidgetItem(QString::fromStdString(rule.Destination)));
    }
    keepBlankRow();
    m_loading = false;
    m_edited = false;
}

std::vector<routing::ForwardRuleRow> ForwardGrid::rules() const
{
    std::vector<routing::ForwardRuleRow> rows;
    for (int r = 0; r < rowCount(); ++r)
        rows.push_back({cell(r, kSource).toStdString(), cell(r, kName).toStdString(),
            cell(r, kKeyword).toStdString(), cell(r, kDestination).toStdString()});
    return rows;
}

QString ForwardGrid::cell(int row, int column) const
{
    return itemText(item(row, column));
}

void ForwardGrid::setCell(int row, int column, const QString& text)
{
    if (row < 0 || row >= rowCount())
        return;
    if (QTableWidgetItem* existing = item(row, column))
        existing->setText(text);
    else
        setItem(row, column, new QTableWidgetItem(text));
}

void ForwardGrid::clearAll()
{
    m_loading = true;
    setRowCount(0);
    keepBlankRow();
    m_loading = false;
    m_edited = true;
}

void ForwardGrid::clearRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    m_loading = true;
    removeRow(row);
    keepBlankRow();
    m_loading = false;
    m_edited = true;
}

// New rules are typed into the blank row at the bottom; once it holds text another one appears.
void ForwardGrid::keepBlankRow()
{
    const int last = rowCount() - 1;
    bool blank = last >= 0;
    for (int c = 0; blank && c < columnCount(); ++c)
        blank = cell(last, c).isEmpty();
    if (!blank) {
        const bool loading = m_loading;
        m_loading = true;
        insertRow(rowCount());
        m_loading = loading;
    }
}

void ForwardGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_F1) {
        QTableWidget::keyPressEvent(event);
        return;
    }
    // Take what is being typed into the cell before an assistant reads or replaces it.
    if (state() == QAbstractItemView::EditingState) {
        if (QWidget* editor = QApplication::focusWidget(); editor && editor != this) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
    const QModelIndex at = currentIndex();
    if (at.isValid())
        emit assistantRequested(at.row(), at.column());
    event->accept();
}

QString ForwardGrid::HelpText(int column)
{
    switch (column) {
    case kSource:
        return expand("Enter the senders mobile number. Use '*' to match all numbers.");
    case kName:
        return expand("Enter a name to associate with this number."
                      " If you leave this empty then the {APP} will attempt to find a match in the Address "
                      "Book.");
    case kKeyword:
        return expand("Use '*' to match any text, otherwise enter a regular expression. e.g.:\\n"
                      "\\t\\t^alert matches any message that begins with 'alert'\\n"
                      "\\t\\t.*key.* matches any message that contains 'key'\\n"
                      "\\t\\teom$ matches any message that ends with 'eom'\\n"
                      "NOTE: test is not case sensitive");
    case kDestination:
        return expand("Enter a combination of mobile numbers and email addresses separated by a comma."
                      " The incoming message will be forwarded to each recipient.");
    default:
        return {};
    }
}

} // namespace vesk::ui
