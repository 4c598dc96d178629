#pragma once
// The options dialog: a view of the options store. Its controls are made at its first
// show, from the store; from then on each control and its option follow each other.

#include "scan/options.h"

#include <QDialog>

class OptionsStore;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TForm_Options final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm_Options)

public:
    explicit TForm_Options(OptionsStore& store, QWidget* parent = nullptr);
    ~TForm_Options() override;

    // Makes the controls from the store, once; the first show does it. Not at start-up:
    // the dialog's fonts and controls would delay the main window.
    void ensureControls();
    void setVisible(bool visible) override;

    // Set by any change of the log name, cleared by Ok.
    bool logNameChanged() const { return m_logNameChanged; }

    // The controls, named as the rest of the program and the tests know them; null until
    // ensureControls.
    QFrame* Panel1 = nullptr; // the black panel that holds the options
    QLabel* Label1 = nullptr; // "Refresh time"
    QLineEdit* Edit_Time = nullptr; // the refresh time in whole seconds; applied by Ok
    QLabel* Label2 = nullptr; // "sec"
    QCheckBox* CheckBox1 = nullptr; // "Show listening ports"
    QCheckBox* CheckBox2 = nullptr; // "Show TCP connections"
    QCheckBox* CheckBox3 = nullptr; // "Show UDP connections"
    QCheckBox* CheckBox4 = nullptr; // "Lookup hostnames": mirrored by the toolbar's ToolButton6
    QCheckBox* CheckBox5 = nullptr; // "Lookup portnames"
    QCheckBox* CheckBox6 = nullptr; // "Cache DNS": the 200-slot host-name cache
    QCheckBox* CheckBox7 = nullptr; // "Logfile name": logging on or off
    QLineEdit* Edit1 = nullptr; // the log file's name
    QFrame* Bevel1 = nullptr; // a line along its top edge
    QPushButton* Button1 = nullptr; // "Ok"
    QPushButton* Button2 = nullptr; // "Cancel"

public Q_SLOTS:
    void Button1Click(); // Ok
    void Button2Click(); // Cancel
    // Escape and the close box behave as Cancel.
    void reject() override;

Q_SIGNALS:
    void refreshIntervalApplied(int milliseconds);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void connectControls();
    void showOptions(const Options& now, const Options& before);

    OptionsStore& m_store;
    bool m_logNameChanged = false;
    bool m_centred = false;
};
