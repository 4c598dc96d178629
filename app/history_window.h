#pragma once
// The History window: the recorded connections of a time range through the view's filter,
// listed or grouped with counts, a timeline of the connections opened and the bytes moved, the alerts, and
// an export of the shown rows. The file is read on a thread of its own.

#include "history/history_report.h"
#include "history/history_timeline.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

class HistoryTableModel;
class QChartView;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
class QThread;

class HistoryWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryWindow)

public:
    explicit HistoryWindow(std::string databasePath, QWidget* parent = nullptr);
    // Stops a read under way and joins it.
    ~HistoryWindow() override;

    // Reads the range the controls choose, again.
    void reload();
    // Only the connections of one group of the grouping, listed: what a double-click opens.
    void showOnlyGroup(HistoryGrouping grouping, const std::string& key);
    // Only the connections opened in [since, until): what a click on a bar chooses; (0, 0)
    // for the whole range again.
    void narrowTo(std::int64_t since, std::int64_t until);
    // The shown rows as CSV; false with error said.
    bool exportCsv(const QString& path, QString& error) const;

    HistoryTableModel& model() const { return *m_model; }
    // The connections opened and the bytes moved per bar of the last read.
    const HistoryTimeline& timeline() const { return m_timeline; }
    std::int64_t barSeconds() const { return m_timeline.barSeconds(); }
    std::int64_t rangeStart() const { return m_timeline.start(); }

    // The controls, named for the tests.
    QComboBox* ComboRange = nullptr; // Last hour, Today, Last 7 days, Custom
    QDateTimeEdit* EditFrom = nullptr;
    QDateTimeEdit* EditTo = nullptr;
    QLineEdit* EditFilter = nullptr;
    QComboBox* ComboGroup = nullptr; // Connections, Process, Remote host, Remote port, Local port
    QTableView* Table = nullptr;
    QChartView* Chart = nullptr;
    QListWidget* Alerts = nullptr;
    QPushButton* ButtonExport = nullptr;
    QLabel* Status = nullptr;

Q_SIGNALS:
    // A read has ended and its rows are shown (or its failure said).
    void loaded();

private:
    struct Result;
    void createControls();
    void showResult(const std::shared_ptr<Result>& result);
    void drawTimeline();
    void openGroup(const QModelIndex& index);
    void exportShown();
    HistoryGrouping grouping() const;

    const std::string m_path;
    HistoryTableModel* m_model = nullptr;
    std::unique_ptr<QThread> m_reader;
    bool m_readAgain = false; // the controls changed while a read was under way
    HistoryGrouping m_onlyGrouping = HistoryGrouping::None;
    std::string m_onlyKey;
    std::int64_t m_narrowSince = 0;
    std::int64_t m_narrowUntil = 0;
    HistoryTimeline m_timeline;
};
