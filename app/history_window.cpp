#include "app/history_window.h"

#include "app/app_title.h"
#include "app/history_table_model.h"
#include "cli/printing_scan_view.h"
#include "history/history_database.h"
#include "scan/traffic.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMessageBox>
#include <QPen>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

using namespace Qt::StringLiterals;

struct HistoryWindow::Result
{
    std::string error;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> cells;
    HistoryTimeline timeline;
    std::vector<std::string> alerts;
};

HistoryWindow::HistoryWindow(std::string databasePath, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_path(std::move(databasePath))
{
    setObjectName(u"History"_s);
    setWindowTitle(u"VELTRAN - History"_s);
    createControls();
    resize(900, 620);
}

HistoryWindow::~HistoryWindow()
{
    if (m_reader) {
        m_reader->requestInterruption();
        m_reader->wait();
    }
}

void HistoryWindow::createControls()
{
    auto* column = new QVBoxLayout(this);
    auto* controls = new QHBoxLayout;
    ComboRange = new QComboBox(this);
    ComboRange->setObjectName(u"ComboRange"_s);
    ComboRange->addItems({ u"Last hour"_s, u"Today"_s, u"Last 7 days"_s, u"Custom"_s });
    EditFrom = new QDateTimeEdit(QDateTime::currentDateTime().addDays(-1), this);
    EditFrom->setObjectName(u"EditFrom"_s);
    EditTo = new QDateTimeEdit(QDateTime::currentDateTime(), this);
    EditTo->setObjectName(u"EditTo"_s);
    for (QDateTimeEdit* edit : { EditFrom, EditTo }) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(u"yyyy-MM-dd HH:mm"_s);
        edit->setEnabled(false);
    }
    EditFilter = new QLineEdit(this);
    EditFilter->setObjectName(u"EditFilter"_s);
    EditFilter->setPlaceholderText(u"Filter: port:443 proc:firefox host:10.0.0.2 !state:listen"_s);
    EditFilter->setClearButtonEnabled(true);
    ComboGroup = new QComboBox(this);
    ComboGroup->setObjectName(u"ComboGroup"_s);
    ComboGroup->addItems(
        { u"Connections"_s, u"By process"_s, u"By remote host"_s, u"By remote port"_s, u"By local port"_s });
    // Alt+G and Alt+E reach the grouping and the export from the keyboard.
    auto* groupLabel = new QLabel(u"&Group:"_s, this);
    groupLabel->setBuddy(ComboGroup);
    ButtonExport = new QPushButton(u"&Export CSV..."_s, this);
    ButtonExport->setObjectName(u"ButtonExport"_s);
    controls->addWidget(ComboRange);
    controls->addWidget(EditFrom);
    controls->addWidget(EditTo);
    controls->addWidget(EditFilter, 1);
    controls->addWidget(groupLabel);
    controls->addWidget(ComboGroup);
    controls->addWidget(ButtonExport);
    column->addLayout(controls);

    auto* chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    Chart = new QChartView(chart, this);
    Chart->setObjectName(u"Chart"_s);
    Chart->setMinimumHeight(140);
    m_model = new HistoryTableModel(this);
    Table = new QTableView(this);
    Table->setObjectName(u"Table"_s);
    Table->setModel(m_model);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->hide();
    Alerts = new QListWidget(this);
    Alerts->setObjectName(u"Alerts"_s);
    auto* tabs = new QTabWidget(this);
    tabs->addTab(Table, u"Connections"_s);
    tabs->addTab(Alerts, u"Alerts"_s);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(Chart);
    split->addWidget(tabs);
    split->setStretchFactor(1, 3);
    column->addWidget(split, 1);
    Status = new QLabel(this);
    Status->setObjectName(u"Status"_s);
    column->addWidget(Status);

    connect(ComboRange, &QComboBox::currentIndexChanged, this, [this](int index) {
        EditFrom->setEnabled(index == 3);
        EditTo->setEnabled(index == 3);
        narrowTo(0, 0);
    });
    connect(EditFrom, &QDateTimeEdit::dateTimeChanged, this, &HistoryWindow::reload);
    connect(EditTo, &QDateTimeEdit::dateTimeChanged, this, &HistoryWindow::reload);
    connect(EditFilter, &QLineEdit::returnPressed, this, &HistoryWindow::reload);
    connect(ComboGroup, &QComboBox::currentIndexChanged, this, &HistoryWindow::reload);
    connect(ButtonExport, &QPushButton::clicked, this, &HistoryWindow::exportShown);
    connect(Table, &QTableView::doubleClicked, this, &HistoryWindow::openGroup);
}

HistoryGrouping HistoryWindow::grouping() const
{
    static constexpr HistoryGrouping kGroupings[] = { HistoryGrouping::None, HistoryGrouping::Process,
        HistoryGrouping::RemoteHost, HistoryGrouping::RemotePort, HistoryGrouping::LocalPort };
    return kGroupings[std::clamp(ComboGroup->currentIndex(), 0, 4)];
}

void HistoryWindow::showOnlyGroup(HistoryGrouping grouping, const std::string& key)
{
    m_onlyGrouping = grouping;
    m_onlyKey = key;
    ComboGroup->setCurrentIndex(0);
    setWindowTitle(u"VELTRAN - History - %1"_s.arg(QString::fromStdString(key)));
    reload();
}

void HistoryWindow::narrowTo(std::int64_t since, std::int64_t until)
{
    m_narrowSince = since;
    m_narrowUntil = until;
    reload();
}

void HistoryWindow::reload()
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_reader && m_reader->isRunning()) {
        m_readAgain = true;
        return;
    }
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    std::int64_t since = now - 3600;
    std::int64_t until = now;
    switch (ComboRange->currentIndex()) {
    case 1:
        since = QDateTime(QDate::currentDate(), QTime(0, 0)).toSecsSinceEpoch();
        break;
    case 2:
        since = now - 7 * 86400;
        break;
    case 3:
        since = EditFrom->dateTime().toSecsSinceEpoch();
        until = std::max(since, std::int64_t(EditTo->dateTime().toSecsSinceEpoch()));
        break;
    default:
        break;
    }
    Status->setText(u"Reading..."_s);
    // Until the read ends, the rows shown are not those of the controls.
    ButtonExport->setEnabled(false);
    m_reader.reset(
        QThread::create([this, path = m_path, since, until, filter = EditFilter->text().toStdString(),
                            grouping = grouping(), onlyGrouping = m_onlyGrouping, onlyKey = m_onlyKey,
                            narrowSince = m_narrowSince, narrowUntil = m_narrowUntil] {
            auto result = std::make_shared<Result>();
            QThread* self = QThread::currentThread();
            HistoryReport report(filter, grouping);
            const HistoryReport only({}, onlyGrouping);
            result->timeline = HistoryTimeline(since, until);
            HistoryDatabase database;
            if (!std::filesystem::exists(path)) {
                result->error = "Nothing has been recorded: \"Record history\" is in the Preferences";
            } else if (!database.open(path)) {
                result->error = database.error();
            } else {
                // A whole range's groups are counted by the report itself, which is much faster.
                const bool whole = onlyGrouping == HistoryGrouping::None && narrowUntil <= narrowSince;
                const bool read = whole
                    ? report.read(database, since, until, result->error, &result->timeline)
                    : readHistory(
                        database, since, until,
                        [&](const HistoryRow& row) {
                            if (self->isInterruptionRequested() || !report.keeps(row))
                                return;
                            if (onlyGrouping != HistoryGrouping::None && only.keyOf(row) != onlyKey)
                                return;
                            result->timeline.add(
                                row.firstSeen, row.lastSeen, row.bytesSent, row.bytesReceived);
                            if (narrowUntil > narrowSince
                                && (row.firstSeen < narrowSince || row.firstSeen >= narrowUntil))
                                return;
                            report.take(row);
                        },
                        result->error);
                if (read)
                    readAlerts(
                        database, since, until,
                        [&](const HistoryAlert& alert) {
                            result->alerts.push_back(historyTimeText(alert.time) + "  " + alertTitle(alert)
                                + ": " + alertText(alert));
                        },
                        result->error);
            }
            result->header = report.header();
            result->cells = report.cells();
            QMetaObject::invokeMethod(
                this, [this, result] { showResult(result); }, Qt::QueuedConnection);
        }));
    m_reader->start();
}

void HistoryWindow::showResult(const std::shared_ptr<Result>& result)
{
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_reader)
        m_reader->wait(); // it has posted its result: only its return is left
    m_model->setContent(std::move(result->header), std::move(result->cells));
    Table->resizeColumnsToContents();
    m_timeline = std::move(result->timeline);
    Alerts->clear();
    for (const std::string& alert : result->alerts)
        Alerts->addItem(QString::fromStdString(alert));
    drawTimeline();
    ButtonExport->setEnabled(result->error.empty());
    // A failure is said, never shown as an empty history.
    if (!result->error.empty()) {
        Status->setText(QString::fromStdString(result->error));
    } else {
        QString text = grouping() == HistoryGrouping::None ? u"%1 connections"_s.arg(m_model->rowCount())
                                                           : u"%1 groups"_s.arg(m_model->rowCount());
        if (m_narrowUntil > m_narrowSince)
            text += u", opened %1 to %2 only (click the bar again for the whole range)"_s.arg(
                QString::fromStdString(historyTimeText(m_narrowSince)),
                QString::fromStdString(historyTimeText(m_narrowUntil)));
        Status->setText(text);
    }
    if (std::exchange(m_readAgain, false))
        reload();
    else
        Q_EMIT loaded();
}

void HistoryWindow::drawTimeline()
{
    QChart* chart = Chart->chart();
    chart->removeAllSeries();
    // Removed axes are the caller's to delete; removed series are deleted by the chart.
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const QColor openedColour(0x4a, 0x7e, 0xbb);
    const QColor bytesColour(0xd9, 0x5f, 0x0e);
    auto* bars = new QBarSet({});
    bars->setColor(openedColour);
    bars->setBorderColor(openedColour);
    int most = 0;
    for (const int count : m_timeline.opened()) {
        *bars << count;
        most = std::max(most, count);
    }
    auto* series = new QBarSeries;
    series->setBarWidth(1.0);
    series->append(bars);
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->setLabelsVisible(false);
    x->setGridLineVisible(false);
    auto* y = new QValueAxis;
    y->setRange(0, std::max(1, most));
    y->setLabelFormat(u"%d"_s);
    y->setLabelsColor(openedColour);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
    const auto narrowToBar = [this](int index) {
        const std::int64_t since = rangeStart() + std::int64_t(index) * barSeconds();
        if (since == m_narrowSince)
            narrowTo(0, 0);
        else
            narrowTo(since, since + barSeconds());
    };
    connect(bars, &QBarSet::clicked, this, narrowToBar);

    const QString perBar = u" per %1 min"_s.arg(barSeconds() / 60);
    bars->setLabel(u"Connections opened"_s + perBar);
    // Bytes that were never read are not drawn as a flat zero.
    if (!m_timeline.bytesKnown()) {
        chart->legend()->hide();
        chart->setTitle(
            bars->label() + u" (no bytes were recorded: \"Show traffic\" is in the Preferences)"_s);
        return;
    }
    chart->setTitle({});
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->show();
    // Bytes per minute, whatever a bar's width: the line reads the same over an hour and a week.
    const double minutesPerBar = double(std::max<std::int64_t>(1, barSeconds() / 60));
    const auto& bytes = m_timeline.bytes();
    const double largest
        = bytes.empty() ? 0.0 : *std::max_element(bytes.begin(), bytes.end()) / minutesPerBar;
    const ByteUnit unit = byteUnitOf(largest);
    const double scale = unit.size;
    auto* line = new QLineSeries;
    line->setName(QString::fromLatin1(unit.name) + u" moved per minute"_s);
    line->setPen(QPen(bytesColour, 2));
    for (std::size_t bar = 0; bar < bytes.size(); ++bar)
        line->append(double(bar), bytes[bar] / minutesPerBar / scale);
    chart->addSeries(line);
    auto* bytesAxis = new QValueAxis;
    bytesAxis->setRange(0, std::max(1.0, largest / scale));
    bytesAxis->applyNiceNumbers();
    bytesAxis->setLabelFormat(u"%g"_s);
    bytesAxis->setLabelsColor(bytesColour);
    chart->addAxis(bytesAxis, Qt::AlignRight);
    line->attachAxis(x);
    line->attachAxis(bytesAxis);
    connect(line, &QLineSeries::clicked, this,
        [narrowToBar](const QPointF& point) { narrowToBar(int(std::lround(point.x()))); });
}

void HistoryWindow::openGroup(const QModelIndex& index)
{
    if (grouping() == HistoryGrouping::None || !index.isValid())
        return;
    auto* window = new HistoryWindow(m_path);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->ComboRange->setCurrentIndex(ComboRange->currentIndex());
    window->EditFrom->setDateTime(EditFrom->dateTime());
    window->EditTo->setDateTime(EditTo->dateTime());
    window->EditFilter->setText(EditFilter->text());
    window->m_narrowSince = m_narrowSince;
    window->m_narrowUntil = m_narrowUntil;
    window->showOnlyGroup(grouping(), m_model->cells()[std::size_t(index.row())].front());
    window->show();
}

bool HistoryWindow::exportCsv(const QString& path, QString& error) const
{
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    if (out)
        printTable(out, OutputFormat::Csv, m_model->header(), m_model->cells());
    out.close();
    if (!out) {
        error = u"Could not save %1: %2"_s.arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

void HistoryWindow::exportShown()
{
    const QString path
        = QFileDialog::getSaveFileName(this, u"Export CSV"_s, u"history.csv"_s, u"CSV (*.csv)"_s);
    if (path.isEmpty())
        return;
    QString error;
    if (!exportCsv(path, error))
        QMessageBox::warning(this, QString::fromLatin1(kApplicationTitle), error);
    else
        Status->setText(u"%1 rows saved to %2"_s.arg(m_model->rowCount()).arg(path));
}
