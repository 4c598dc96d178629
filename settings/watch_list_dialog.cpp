#include "settings/watch_list_dialog.h"

#include "scan/remote_agents.h"
#include "scan/shell_words.h"
#include "settings/options_store.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

std::string testWatchedAgent(const WatchedAgent& agent)
{
    std::vector<std::string> words;
    if (!splitShellWords(agent.snmpOptions, words))
        return "invalid SNMP options for " + agent.host + ": unterminated quote";
    AgentPollRequest request;
    request.tcp = request.udp = false;
    const std::vector<AgentPollResult> results = pollRemoteAgents({ agent.host }, words, request);
    const AgentPollResult& result = results.front();
    return result.ok ? agent.host + " answers: " + result.sysName : result.error;
}

WatchListDialog::WatchListDialog(OptionsStore& store, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_tester(testWatchedAgent)
{
    setObjectName(u"WatchList"_s);
    setWindowTitle(u"VELTRAN - Computers to watch"_s);
    setModal(false);
}

WatchListDialog::~WatchListDialog()
{
    // A test still asking an agent ends within that agent's timeout.
    if (m_testThread) {
        m_testThread->wait();
        delete m_testThread;
    }
}

void WatchListDialog::setVisible(bool visible)
{
    if (visible) {
        if (!TableAgents)
            createControls();
        showAgents(m_store.current().moreAgents);
    }
    QDialog::setVisible(visible);
}

void WatchListDialog::createControls()
{
    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(u"Watched after the first computer (Preferences, Watch):"_s, this));
    TableAgents = new QTableWidget(0, 2, this);
    TableAgents->setObjectName(u"TableAgents"_s);
    TableAgents->setHorizontalHeaderLabels({ u"On"_s, u"Host"_s });
    TableAgents->horizontalHeader()->setStretchLastSection(true);
    TableAgents->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableAgents->setSelectionMode(QAbstractItemView::SingleSelection);
    TableAgents->verticalHeader()->hide();
    column->addWidget(TableAgents, 1);

    auto* form = new QFormLayout;
    EditHost = new QLineEdit(this);
    EditHost->setObjectName(u"EditHost"_s);
    EditHost->setPlaceholderText(u"host, udp:host:161, udp6:[::1]:1161"_s);
    form->addRow(u"Host"_s, EditHost);
    EditSnmpOptions = new QLineEdit(this);
    EditSnmpOptions->setObjectName(u"EditSnmpOptions"_s);
    EditSnmpOptions->setEchoMode(QLineEdit::Password);
    EditSnmpOptions->setToolTip(u"As for snmpwalk: -v2c -c COMMUNITY, or -v3 -l authPriv -u USER -a SHA "
                                u"-A PASSPHRASE -x AES -X PASSPHRASE"_s);
    form->addRow(u"SNMP options"_s, EditSnmpOptions);
    column->addLayout(form);

    auto* actions = new QHBoxLayout;
    ButtonAdd = new QPushButton(u"Add"_s, this);
    ButtonRemove = new QPushButton(u"Remove"_s, this);
    ButtonTest = new QPushButton(u"Test"_s, this);
    for (QPushButton* button : { ButtonAdd, ButtonRemove, ButtonTest })
        actions->addWidget(button);
    actions->addStretch(1);
    column->addLayout(actions);
    LabelTest = new QLabel(this);
    LabelTest->setObjectName(u"LabelTest"_s);
    LabelTest->setWordWrap(true);
    column->addWidget(LabelTest);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &WatchListDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &WatchListDialog::reject);
    column->addWidget(buttons);

    connect(TableAgents, &QTableWidget::itemSelectionChanged, this, &WatchListDialog::selectionChanged);
    connect(EditHost, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (QTableWidgetItem* host = m_shownRow >= 0 ? TableAgents->item(m_shownRow, 1) : nullptr)
            host->setText(text.trimmed());
    });
    connect(EditSnmpOptions, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_shownRow >= 0)
            m_snmpOptions[static_cast<std::size_t>(m_shownRow)] = text.toStdString();
    });
    connect(ButtonAdd, &QPushButton::clicked, this, [this] {
        std::vector<WatchedAgent> list = agents();
        list.push_back(WatchedAgent {});
        showAgents(list);
        TableAgents->selectRow(TableAgents->rowCount() - 1);
        EditHost->setFocus();
    });
    connect(ButtonRemove, &QPushButton::clicked, this, [this] {
        std::vector<WatchedAgent> list = agents();
        const int row = m_shownRow;
        if (row < 0)
            return;
        list.erase(list.begin() + row);
        showAgents(list);
        if (!list.empty())
            TableAgents->selectRow(std::min(row, static_cast<int>(list.size()) - 1));
    });
    connect(ButtonTest, &QPushButton::clicked, this, &WatchListDialog::testSelected);
}

void WatchListDialog::showAgents(const std::vector<WatchedAgent>& list)
{
    const QSignalBlocker blocker(TableAgents);
    TableAgents->setRowCount(static_cast<int>(list.size()));
    m_snmpOptions.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto* on = new QTableWidgetItem;
        on->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        on->setCheckState(list[i].enabled ? Qt::Checked : Qt::Unchecked);
        auto* host = new QTableWidgetItem(QString::fromStdString(list[i].host));
        host->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        TableAgents->setItem(static_cast<int>(i), 0, on);
        TableAgents->setItem(static_cast<int>(i), 1, host);
        m_snmpOptions.push_back(list[i].snmpOptions);
    }
    m_shownRow = -1;
    selectionChanged();
}

void WatchListDialog::selectionChanged()
{
    const QList<QTableWidgetSelectionRange> ranges = TableAgents->selectedRanges();
    m_shownRow = ranges.isEmpty() ? -1 : ranges.front().topRow();
    const bool selected = m_shownRow >= 0;
    EditHost->setText(selected ? TableAgents->item(m_shownRow, 1)->text() : QString());
    EditSnmpOptions->setText(
        selected ? QString::fromStdString(m_snmpOptions[static_cast<std::size_t>(m_shownRow)]) : QString());
    for (QWidget* widget : std::initializer_list<QWidget*> { EditHost, EditSnmpOptions, ButtonRemove })
        widget->setEnabled(selected);
    ButtonTest->setEnabled(selected && !m_testThread);
}

std::vector<WatchedAgent> WatchListDialog::agents() const
{
    std::vector<WatchedAgent> list;
    for (int row = 0; row < TableAgents->rowCount(); ++row) {
        WatchedAgent agent;
        agent.enabled = TableAgents->item(row, 0)->checkState() == Qt::Checked;
        agent.host = TableAgents->item(row, 1)->text().trimmed().toStdString();
        agent.snmpOptions = m_snmpOptions[static_cast<std::size_t>(row)];
        list.push_back(std::move(agent));
    }
    return list;
}

void WatchListDialog::testSelected()
{
    if (m_shownRow < 0 || m_testThread)
        return;
    const WatchedAgent agent = agents()[static_cast<std::size_t>(m_shownRow)];
    LabelTest->setText(u"Asking %1..."_s.arg(QString::fromStdString(agent.host)));
    ButtonTest->setEnabled(false);
    auto answer = std::make_shared<std::string>();
    m_testThread = QThread::create([answer, agent, tester = m_tester] { *answer = tester(agent); });
    // Told when the thread has ended, so nothing waits for it here.
    connect(m_testThread, &QThread::finished, this, [this, answer] {
        LabelTest->setText(QString::fromStdString(*answer));
        std::exchange(m_testThread, nullptr)->deleteLater();
        selectionChanged();
    });
    m_testThread->start();
}

void WatchListDialog::accept()
{
    std::vector<WatchedAgent> list = agents();
    // A row without a host watches nothing: it is not kept.
    std::erase_if(list, [](const WatchedAgent& agent) { return agent.host.empty(); });
    m_store.set(&Options::moreAgents, std::move(list));
    m_store.savePreferences();
    QDialog::accept();
}
