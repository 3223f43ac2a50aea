#include "ui/frmPickFromNameCache.h"

#include "routing/NameCache.h"
#include "store/NameCacheTable.h"
#include "store/Outbox.h"
#include "support/Convert.h"
#include "ui/Placeholders.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vesk::ui {

namespace {

// Opens the outbox for the duration of a task unless the console already holds it open.
class OutboxSession
{
public:
    OutboxSession(store::Outbox& outbox, int mode)
        : m_db(store::OutboxHandle(outbox))
        , m_opened(!m_db.IsConnected())
    {
        m_ok = !m_opened || m_db.OpenDatabase(mode);
    }
    ~OutboxSession()
    {
        if (m_opened && m_ok)
            m_db.CloseDatabase();
    }
    OutboxSession(const OutboxSession&) = delete;
    OutboxSession& operator=(const OutboxSession&) = delete;

    bool ok() const { return m_ok; }
    store::db& db() { return m_db; }

private:
    store::db& m_db;
    bool m_opened;
    bool m_ok = false;
};

} // namespace

frmPickFromNameCache::frmPickFromNameCache(
    store::Outbox& outbox, routing::NameCache& cache, std::string dataFolder, QWidget* parent)
    : QDialog(parent)
    , m_outbox(outbox)
    , m_cache(cache)
    , m_dataFolder(std::move(dataFolder))
{
    setObjectName("frmPickFromNameCache");
    setWindowTitle("{APP} - Contacts");
    lvNames = new QTreeWidget(this);
    lvNames->setRootIsDecorated(false);
    lvNames->setAllColumnsShowFocus(true);
    lvNames->setHeaderLabels({"Name", "Number"});
    lvNames->header()->setStretchLastSection(true);
    // Room for a typical full name of eighteen characters.
    lvNames->setColumnWidth(0, lvNames->fontMetrics().horizontalAdvance("Margaret Whitfield") + 16);
    lvNames->setMinimumSize(360, 260);
    cmdUpdateCache = new QPushButton("&Refresh", this);
    cmdUpdateCache->setToolTip("Copy the contacts from the address book again");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdUpdateCache);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lvNames, 1);
    layout->addLayout(buttons);

    connect(lvNames, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        m_selection = item->text(1).toStdString();
        accept();
    });
    connect(cmdUpdateCache, &QPushButton::clicked, this, [this] { cmdUpdateCache_Click(); });
    ApplyPlaceholders(*this);
    LoadList();
}

void frmPickFromNameCache::LoadList()
{
    lvNames->clear();
    OutboxSession session(m_outbox, store::mode::kReadShared);
    if (!session.ok())
        return;
    for (const auto& entry : store::AllCachedNames(session.db())) {
        auto* item = new QTreeWidgetItem(lvNames);
        item->setText(0, QString::fromStdString(entry.name));
        item->setText(1, QString::fromStdString(entry.address));
    }
}

void frmPickFromNameCache::cmdUpdateCache_Click()
{
    bool rebuilt = false;
    {
        OutboxSession session(m_outbox, store::mode::kReadWriteShared);
        if (!session.ok())
            return;
        setCursor(Qt::WaitCursor);
        rebuilt = routing::ImportNameCache(m_cache, m_outbox, m_dataFolder, true);
        unsetCursor();
    }
    if (rebuilt)
        LoadList();
}

void frmPickFromNameCache::reject()
{
    m_selection.clear();
    QDialog::reject();
}

} // namespace vesk::ui
