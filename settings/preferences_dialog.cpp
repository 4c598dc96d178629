#include "settings/preferences_dialog.h"

#include "settings/options_store.h"
#include "settings/watch_list_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Each check box and the option it shows.
struct BoxOption
{
    QCheckBox* PreferencesDialog::*box;
    bool Options::*option;
};

constexpr BoxOption kBoxes[] = {
    { &PreferencesDialog::CheckIpv6, &Options::showIpv6Endpoints },
    { &PreferencesDialog::CheckProcessColumn, &Options::showProcessColumn },
    { &PreferencesDialog::CheckMarkNew, &Options::markNewRows },
    { &PreferencesDialog::CheckHideLoopback, &Options::hideLoopback },
    { &PreferencesDialog::CheckMarkIpv6Names, &Options::markIpv6Names },
    { &PreferencesDialog::CheckUdpPeers, &Options::showUdpPeers },
    { &PreferencesDialog::CheckShowTraffic, &Options::showTraffic },
    { &PreferencesDialog::CheckMapStates, &Options::mapStates },
    { &PreferencesDialog::CheckMarkWildcards, &Options::markWildcards },
    { &PreferencesDialog::CheckSortByHeader, &Options::sortByHeader },
    { &PreferencesDialog::CheckRememberLayout, &Options::rememberLayout },
    { &PreferencesDialog::CheckRecordHistory, &Options::recordHistory },
    { &PreferencesDialog::CheckAlertNewListener, &Options::alertNewListener },
    { &PreferencesDialog::CheckAlertNewRemoteHost, &Options::alertNewRemoteHost },
    { &PreferencesDialog::CheckAlertNewProgram, &Options::alertNewProgram },
};

QCheckBox* checkBox(const QString& name, const QString& caption, const QString& tip, QLayout* layout)
{
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    box->setToolTip(tip);
    layout->addWidget(box);
    return box;
}

} // namespace

PreferencesDialog::PreferencesDialog(OptionsStore& store, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
{
    setObjectName(u"Preferences"_s);
    setWindowTitle(u"VELTRAN - Preferences"_s);
    setModal(false);
}

void PreferencesDialog::setVisible(bool visible)
{
    if (visible) {
        if (!EditHost)
            createControls();
        showOptions(m_store.current());
    }
    QDialog::setVisible(visible);
}

void PreferencesDialog::createControls()
{
    auto* column = new QVBoxLayout(this);

    auto* watch = new QGroupBox(u"Watch"_s, this);
    auto* watchLayout = new QFormLayout(watch);
    RadioThisComputer = new QRadioButton(u"This computer"_s, watch);
    RadioThisComputer->setObjectName(u"RadioThisComputer"_s);
    RadioSnmpAgent = new QRadioButton(u"Another computer, through its SNMP agent"_s, watch);
    RadioSnmpAgent->setObjectName(u"RadioSnmpAgent"_s);
    watchLayout->addRow(RadioThisComputer);
    watchLayout->addRow(RadioSnmpAgent);
    EditHost = new QLineEdit(watch);
    EditHost->setObjectName(u"EditHost"_s);
    EditHost->setToolTip(u"host, udp:host:161 or udp6:[::1]:1161"_s);
    watchLayout->addRow(u"Host"_s, EditHost);
    EditSnmpOptions = new QLineEdit(watch);
    EditSnmpOptions->setObjectName(u"EditSnmpOptions"_s);
    EditSnmpOptions->setEchoMode(QLineEdit::Password);
    EditSnmpOptions->setToolTip(
        u"As for snmpwalk: -v2c -c COMMUNITY, or -v3 -l authPriv -u NAME -a SHA -A ... -x AES -X ..."_s);
    CheckShowSecrets = new QCheckBox(u"Show"_s, watch);
    CheckShowSecrets->setObjectName(u"CheckShowSecrets"_s);
    auto* secrets = new QHBoxLayout;
    secrets->addWidget(EditSnmpOptions, 1);
    secrets->addWidget(CheckShowSecrets);
    watchLayout->addRow(u"SNMP options"_s, secrets);
    EditWriteSnmpOptions = new QLineEdit(watch);
    EditWriteSnmpOptions->setObjectName(u"EditWriteSnmpOptions"_s);
    EditWriteSnmpOptions->setEchoMode(QLineEdit::Password);
    EditWriteSnmpOptions->setToolTip(
        u"For \"Close connection\" and \"Stop process\" on that computer, as for "
        u"snmpset: -v2c -c WRITE-COMMUNITY, or -v3 with a user that may write. "
        u"Empty: they are not offered"_s);
    watchLayout->addRow(u"Write options"_s, EditWriteSnmpOptions);
    ButtonMoreComputers = new QPushButton(u"More computers..."_s, watch);
    ButtonMoreComputers->setObjectName(u"ButtonMoreComputers"_s);
    ButtonMoreComputers->setToolTip(u"Other computers to watch at once, each through its SNMP agent"_s);
    watchLayout->addRow(ButtonMoreComputers);
    connect(ButtonMoreComputers, &QPushButton::clicked, this, [this] {
        watchList()->show();
        watchList()->raise();
    });
    column->addWidget(watch);
    connect(RadioSnmpAgent, &QRadioButton::toggled, this, &PreferencesDialog::enableAgentFields);
    connect(CheckShowSecrets, &QCheckBox::toggled, this, [this](bool shown) {
        EditSnmpOptions->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        EditWriteSnmpOptions->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });

    auto* rows = new QGroupBox(u"Rows"_s, this);
    auto* rowsLayout = new QVBoxLayout(rows);
    CheckIpv6 = checkBox(u"CheckIpv6"_s, u"Show IPv6 endpoints"_s,
        u"The endpoints of IPv6 sockets beside the IPv4 ones"_s, rowsLayout);
    CheckProcessColumn = checkBox(u"CheckProcessColumn"_s, u"Show the process column"_s,
        u"Which program owns each endpoint, in a column after State"_s, rowsLayout);
    CheckMarkNew = checkBox(u"CheckMarkNew"_s, u"Mark new and closed connections"_s,
        u"Mark rows new since the last refresh and count the closed ones"_s, rowsLayout);
    CheckHideLoopback = checkBox(u"CheckHideLoopback"_s, u"Hide loopback endpoints"_s,
        u"Leave out endpoints on 127.0.0.0/8 and ::1"_s, rowsLayout);
    CheckMarkIpv6Names = checkBox(u"CheckMarkIpv6Names"_s, u"Mark the names of IPv6 ends"_s,
        u"\"myhost (v6)\" for ::1 beside \"myhost\" for 127.0.0.1"_s, rowsLayout);
    CheckUdpPeers = checkBox(u"CheckUdpPeers"_s, u"Show the peers of connected UDP sockets"_s,
        u"The remote end of a UDP socket that has one, where \"none\" stands"_s, rowsLayout);
    CheckShowTraffic = checkBox(u"CheckShowTraffic"_s, u"Show traffic"_s,
        u"Each TCP connection's bytes, rate and round trip, from the agent's TCP statistics"_s, rowsLayout);
    ComboTableSize = new QComboBox(rows);
    ComboTableSize->setObjectName(u"ComboTableSize"_s);
    ComboTableSize->addItem(u"200 rows"_s, ConnectionTable::kCapacity);
    ComboTableSize->addItem(u"1,000 rows"_s, 1000);
    ComboTableSize->addItem(u"10,000 rows"_s, 10000);
    ComboTableSize->addItem(u"Every endpoint"_s, ConnectionTable::kUnbounded);
    ComboTableSize->setToolTip(u"How many endpoints the grid and the map hold; beyond them the "
                               u"status bar counts the ones not shown"_s);
    auto* size = new QHBoxLayout;
    size->addWidget(new QLabel(u"Table size"_s, rows));
    size->addWidget(ComboTableSize, 1);
    rowsLayout->addLayout(size);
    column->addWidget(rows);

    auto* map = new QGroupBox(u"Map"_s, this);
    auto* mapLayout = new QVBoxLayout(map);
    CheckMapStates = checkBox(u"CheckMapStates"_s, u"Show TCP states on the map"_s,
        u"\"TCP Time_wait\" rather than \"TCP\" on a row that is not established"_s, mapLayout);
    CheckMarkWildcards = checkBox(u"CheckMarkWildcards"_s, u"Mark listeners on all interfaces"_s,
        u"\" (all)\" beside a socket open on every interface"_s, mapLayout);
    column->addWidget(map);

    auto* window = new QGroupBox(u"Window"_s, this);
    auto* windowLayout = new QVBoxLayout(window);
    CheckSortByHeader = checkBox(u"CheckSortByHeader"_s, u"Sort by clicking column titles"_s,
        u"A click sorts by the column, again reversed, a third time back to the scan's order"_s,
        windowLayout);
    CheckRememberLayout = checkBox(u"CheckRememberLayout"_s, u"Remember the window's layout"_s,
        u"Its place and size, the view, the column widths and the sort, at the next start"_s, windowLayout);
    column->addWidget(window);

    auto* history = new QGroupBox(u"History"_s, this);
    auto* historyLayout = new QVBoxLayout(history);
    CheckRecordHistory = checkBox(u"CheckRecordHistory"_s, u"Record history"_s,
        u"Keep every connection's life in ~/.local/state/veltran/history.sqlite, for the History window"_s,
        historyLayout);
    SpinKeepDays = new QSpinBox(history);
    SpinKeepDays->setObjectName(u"SpinKeepDays"_s);
    SpinKeepDays->setRange(1, 3650);
    SpinKeepDays->setSuffix(u" days"_s);
    SpinMaxMegabytes = new QSpinBox(history);
    SpinMaxMegabytes->setObjectName(u"SpinMaxMegabytes"_s);
    SpinMaxMegabytes->setRange(0, 1000000);
    SpinMaxMegabytes->setSuffix(u" MB"_s);
    SpinMaxMegabytes->setSpecialValueText(u"no limit"_s);
    auto* keep = new QHBoxLayout;
    keep->addWidget(new QLabel(u"Keep"_s, history));
    keep->addWidget(SpinKeepDays);
    keep->addWidget(new QLabel(u"at most"_s, history));
    keep->addWidget(SpinMaxMegabytes, 1);
    historyLayout->addLayout(keep);
    CheckAlertNewListener = checkBox(u"CheckAlertNewListener"_s, u"Alert: a new listening port"_s,
        u"A desktop notification when a port listens that never listened before"_s, historyLayout);
    CheckAlertNewRemoteHost = checkBox(u"CheckAlertNewRemoteHost"_s,
        u"Alert: a program talks to a new host"_s,
        u"A desktop notification when a program talks to a host it never talked to before"_s, historyLayout);
    CheckAlertNewProgram
        = checkBox(u"CheckAlertNewProgram"_s, u"Alert: a program on the network for the first time"_s,
            u"A desktop notification when a program never seen before has an endpoint"_s, historyLayout);
    column->addWidget(history);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);
    column->addWidget(buttons);
}

WatchListDialog* PreferencesDialog::watchList()
{
    if (!m_watchList) {
        m_watchList = new WatchListDialog(m_store, this);
        m_watchList->setWindowFlag(Qt::Window);
    }
    return m_watchList;
}

void PreferencesDialog::showOptions(const Options& options)
{
    (options.watchAgent ? RadioSnmpAgent : RadioThisComputer)->setChecked(true);
    EditHost->setText(QString::fromStdString(options.watchHost));
    EditSnmpOptions->setText(QString::fromStdString(options.watchSnmpOptions));
    EditWriteSnmpOptions->setText(QString::fromStdString(options.watchWriteSnmpOptions));
    CheckShowSecrets->setChecked(false);
    for (const BoxOption& item : kBoxes)
        (this->*item.box)->setChecked(options.*item.option);
    ComboTableSize->setCurrentIndex(std::max(0, ComboTableSize->findData(options.tableSize)));
    SpinKeepDays->setValue(options.historyKeepDays);
    SpinMaxMegabytes->setValue(options.historyMaxMegabytes);
    enableAgentFields();
}

void PreferencesDialog::enableAgentFields()
{
    const bool agent = RadioSnmpAgent->isChecked();
    EditHost->setEnabled(agent);
    EditSnmpOptions->setEnabled(agent);
    EditWriteSnmpOptions->setEnabled(agent);
    CheckShowSecrets->setEnabled(agent);
}

void PreferencesDialog::accept()
{
    m_store.change([this](Options& options) {
        options.watchAgent = RadioSnmpAgent->isChecked();
        options.watchHost = EditHost->text().trimmed().toStdString();
        options.watchSnmpOptions = EditSnmpOptions->text().toStdString();
        options.watchWriteSnmpOptions = EditWriteSnmpOptions->text().toStdString();
        for (const BoxOption& item : kBoxes)
            options.*item.option = (this->*item.box)->isChecked();
        options.tableSize = ComboTableSize->currentData().toInt();
        options.historyKeepDays = SpinKeepDays->value();
        options.historyMaxMegabytes = SpinMaxMegabytes->value();
    });
    m_store.savePreferences();
    QDialog::accept();
}
