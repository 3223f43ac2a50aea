#pragma once

#include <QTableWidget>

#include <vector>

namespace vesk::routing {
struct ForwardRuleRow;
}

namespace vesk::ui {

// The forwarding rule grid: source, source name, keyword, destination. A blank row is always
// kept at the bottom for a new rule. Any edit marks the grid as edited.
class ForwardGrid final : public QTableWidget
{
    Q_OBJECT

public:
    enum Column { kSource = 0, kName = 1, kKeyword = 2, kDestination = 3 };

    explicit ForwardGrid(QWidget* parent = nullptr);

    void setRules(const std::vector<routing::ForwardRuleRow>& rules); // leaves the grid unedited
    std::vector<routing::ForwardRuleRow> rules() const; // every row, blank ones included

    bool IsEdited() const { return m_edited; }
    void clearAll();
    void clearRow(int row);
    // Puts text in a cell as if typed there.
    void setCell(int row, int column, const QString& text);
    QString cell(int row, int column) const;

    // The help text shown under the grid for a column, with the product name in place.
    static QString HelpText(int column);

signals:
    void assistantRequested(int row, int column); // F1 in a cell

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void keepBlankRow();

    bool m_edited = false;
    bool m_loading = false;
};

} // namespace vesk::ui
