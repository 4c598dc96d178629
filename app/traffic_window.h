#pragma once
// The Traffic window (View menu): the shown connections' traffic summed by process or by
// remote host, at every scan. The grid and the map stay as they are.

#include <QWidget>

#include <vector>

class QComboBox;
class QLabel;
class QTableView;
class TrafficGroupModel;
struct GridRowDetails;

class TrafficWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficWindow)

public:
    explicit TrafficWindow(QWidget* parent = nullptr);

    // A scan's rows, as the grid gets them.
    void setRows(const std::vector<GridRowDetails>& rows);

    QComboBox* ComboGrouping = nullptr;
    QTableView* TableGroups = nullptr;
    QLabel* LabelNote = nullptr;

private:
    TrafficGroupModel* m_model = nullptr;
};
