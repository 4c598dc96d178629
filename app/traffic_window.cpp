#include "app/traffic_window.h"

#include "views/traffic_group_model.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

TrafficWindow::TrafficWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_model(new TrafficGroupModel(this))
{
    setObjectName(QStringLiteral("TrafficWindow"));
    setWindowTitle(QStringLiteral("Traffic"));
    auto* layout = new QVBoxLayout(this);
    ComboGrouping = new QComboBox(this);
    ComboGrouping->setObjectName(QStringLiteral("ComboGrouping"));
    ComboGrouping->addItem(QStringLiteral("By process"), static_cast<int>(TrafficGrouping::Process));
    ComboGrouping->addItem(QStringLiteral("By remote host"), static_cast<int>(TrafficGrouping::RemoteHost));
    layout->addWidget(ComboGrouping);
    LabelNote = new QLabel(this);
    LabelNote->setWordWrap(true);
    layout->addWidget(LabelNote);
    TableGroups = new QTableView(this);
    TableGroups->setObjectName(QStringLiteral("TableGroups"));
    TableGroups->setModel(m_model);
    TableGroups->setSortingEnabled(true);
    TableGroups->sortByColumn(TrafficGroupModel::SentColumn, Qt::DescendingOrder);
    TableGroups->verticalHeader()->hide();
    TableGroups->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(TableGroups, 1);
    connect(ComboGrouping, &QComboBox::currentIndexChanged, this,
        [this] { m_model->setGrouping(static_cast<TrafficGrouping>(ComboGrouping->currentData().toInt())); });
    resize(560, 320);
}

void TrafficWindow::setRows(const std::vector<GridRowDetails>& rows)
{
    m_model->setRows(rows);
    const bool known
        = std::any_of(rows.begin(), rows.end(), [](const GridRowDetails& row) { return row.trafficKnown; });
    // UDP has no counters; TCP has them only with Show traffic on and an agent that serves them.
    LabelNote->setText(known ? QStringLiteral("The shown TCP connections, summed.")
                             : QStringLiteral("No connection's traffic is known: turn on Show traffic in the "
                                              "Preferences (the agent must serve the TCP statistics)."));
}
