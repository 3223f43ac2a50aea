#pragma once

#include <QDialog>

#include <string>

class QPushButton;
class QTreeWidget;

namespace vesk::store {
struct Outbox;
}
namespace vesk::routing {
struct NameCache;
}

namespace vesk::ui {

// Lists the contacts of the outbox's name cache so the user can pick a number with a
// double-click; the refresh button rebuilds the cache from the address book first.
class frmPickFromNameCache final : public QDialog
{
    Q_OBJECT

public:
    frmPickFromNameCache(
        store::Outbox& outbox, routing::NameCache& cache, std::string dataFolder, QWidget* parent = nullptr);

    // The number picked; empty when the window was closed without a pick.
    const std::string& Selection() const { return m_selection; }

    void LoadList();
    void cmdUpdateCache_Click();

    QTreeWidget* lvNames = nullptr;
    QPushButton* cmdUpdateCache = nullptr;

protected:
    void reject() override;

private:
    store::Outbox& m_outbox;
    routing::NameCache& m_cache;
    std::string m_dataFolder;
    std::string m_selection;
};

} // namespace vesk::ui
