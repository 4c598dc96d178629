#pragma once
// The computers watched after the first (the Preferences' Watch choice): each through its
// SNMP agent, with a host and SNMP options as the Watch choice takes them. Add, remove,
// switch on and off, and test one (its agent asked for its name now). Ok hands the list to
// the store, which keeps the hosts in veltran.ini and the SNMP options with the secrets.

#include "scan/options.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class OptionsStore;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QThread;

class WatchListDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WatchListDialog)

public:
    // What a test of an agent found: "udp:host:161 answers: its-name", or why not. It runs on
    // a thread of its own and must not touch widgets.
    using Tester = std::function<std::string(const WatchedAgent&)>;

    explicit WatchListDialog(OptionsStore& store, QWidget* parent = nullptr);
    ~WatchListDialog() override;
    void setTester(Tester tester) { m_tester = std::move(tester); }

    void setVisible(bool visible) override;
    void accept() override;

    // The controls, named for the tests; made with the dialog's first show.
    QTableWidget* TableAgents = nullptr; // "On" and "Host", one row per agent
    QLineEdit* EditHost = nullptr; // the selected agent's
    QLineEdit* EditSnmpOptions = nullptr; // masked: it holds a community or passphrases
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonRemove = nullptr;
    QPushButton* ButtonTest = nullptr;
    QLabel* LabelTest = nullptr; // the last test's answer

    // The list as the controls hold it now.
    std::vector<WatchedAgent> agents() const;

private:
    void createControls();
    void showAgents(const std::vector<WatchedAgent>& agents);
    void selectionChanged();
    void testSelected();

    OptionsStore& m_store;
    std::vector<std::string> m_snmpOptions; // per row: not in the table, where it would show
    int m_shownRow = -1;
    Tester m_tester;
    QThread* m_testThread = nullptr;
};

// The answer of one agent, through the remote agents' module.
std::string testWatchedAgent(const WatchedAgent& agent);
