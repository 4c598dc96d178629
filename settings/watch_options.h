#pragma once
// What the window watches: this computer through the agent module loaded into the
// process, or another one through its SNMP agent. The choice is made in the options
// dialog and kept in the settings file, never in options.dat.

#include <QString>

class QLabel;
class QLineEdit;
class QRadioButton;
class QWidget;
class SettingsFile;

struct WatchTarget
{
    bool snmpAgent = false; // false: this computer
    QString host; // net-snmp's peer syntax: "host", "udp:host:161", "udp6:[::1]:1161"
    QString snmpOptions; // snmpwalk's syntax: may hold a community or passphrases

    bool operator==(const WatchTarget&) const = default;

    // The stored choice; this computer when none is stored.
    static WatchTarget load(const SettingsFile& file);
    // False when the file could not be written; its error() says why.
    bool store(SettingsFile& file) const;
};

// The dialog's "Watch:" block, placed in a column of its own to the right of the
// options on the black panel, which grows to hold it; nothing else moves.
class WatchOptions
{
public:
    // dialog and panel both grow by the column's width.
    WatchOptions(QWidget* dialog, QWidget* panel);

    WatchTarget target() const;
    void setTarget(const WatchTarget& target);

    QLabel* LabelWatch = nullptr; // "Watch:"
    QRadioButton* RadioThisComputer = nullptr; // "this computer"
    QRadioButton* RadioSnmpAgent = nullptr; // "SNMP agent"
    QLabel* LabelHost = nullptr; // "Host"
    QLineEdit* EditHost = nullptr;
    QLabel* LabelSnmpOptions = nullptr; // "SNMP options"
    QLineEdit* EditSnmpOptions = nullptr;

private:
    void enableAgentFields();
};
