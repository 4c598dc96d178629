#pragma once
// The Preferences: every choice the monitor offers beyond the options dialog, each kept in
// veltran.ini. The dialog shows the store's options when it opens and hands them back on
// Ok; Cancel leaves the store as it was.

#include "scan/options.h"

#include <QDialog>

class OptionsStore;
class QCheckBox;
class QComboBox;
class QPushButton;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class WatchListDialog;

class PreferencesDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreferencesDialog)

public:
    explicit PreferencesDialog(OptionsStore& store, QWidget* parent = nullptr);

    void setVisible(bool visible) override;
    // Ok: the choices into the store and veltran.ini.
    void accept() override;

    // The controls, named for the tests; made with the dialog's first show.
    QRadioButton* RadioThisComputer = nullptr; // Watch: "This computer"
    QRadioButton* RadioSnmpAgent = nullptr; // Watch: "SNMP agent"
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditSnmpOptions = nullptr; // masked: it may hold a community or passphrases
    QLineEdit* EditWriteSnmpOptions = nullptr; // masked likewise
    QCheckBox* CheckShowSecrets = nullptr; // "Show" the SNMP options in clear
    QPushButton* ButtonMoreComputers = nullptr; // opens the list of computers watched after the first
    WatchListDialog* watchList(); // made at its first use
    QCheckBox* CheckIpv6 = nullptr;
    QCheckBox* CheckProcessColumn = nullptr;
    QCheckBox* CheckMarkNew = nullptr;
    QCheckBox* CheckHideLoopback = nullptr;
    QCheckBox* CheckMarkIpv6Names = nullptr;
    QCheckBox* CheckUdpPeers = nullptr;
    QCheckBox* CheckShowTraffic = nullptr;
    QComboBox* ComboTableSize = nullptr; // the rows a view holds: 200, 1,000, 10,000 or all
    QCheckBox* CheckMapStates = nullptr;
    QCheckBox* CheckMarkWildcards = nullptr;
    QCheckBox* CheckSortByHeader = nullptr;
    QCheckBox* CheckRememberLayout = nullptr;
    QCheckBox* CheckRecordHistory = nullptr;
    QSpinBox* SpinKeepDays = nullptr;
    QSpinBox* SpinMaxMegabytes = nullptr; // 0: no cap
    QCheckBox* CheckAlertNewListener = nullptr;
    QCheckBox* CheckAlertNewRemoteHost = nullptr;
    QCheckBox* CheckAlertNewProgram = nullptr;

private:
    void createControls();
    void showOptions(const Options& options);
    void enableAgentFields();

    OptionsStore& m_store;
    WatchListDialog* m_watchList = nullptr;
};
