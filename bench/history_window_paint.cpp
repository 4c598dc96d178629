// The History window on $XDG_STATE_HOME's history, shown and ended at its first paint after
// its read: "hour" as it opens (the last hour's connections), "week" the last 7 days by process.

#include "app/history_table_model.h"
#include "app/history_window.h"
#include "history/history_database.h"

#include <QApplication>
#include <QComboBox>
#include <QSignalBlocker>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    HistoryWindow window(HistoryDatabase::defaultPath());
    if (argc > 1 && std::strcmp(argv[1], "week") == 0) {
        const QSignalBlocker range(window.ComboRange);
        const QSignalBlocker group(window.ComboGroup);
        window.ComboRange->setCurrentIndex(2);
        window.ComboGroup->setCurrentIndex(1);
    }
    int status = 1;
    QObject::connect(&window, &HistoryWindow::loaded, &window, [&] {
        window.repaint();
        status = window.model().rowCount() > 0 ? 0 : 1;
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    });
    window.show();
    window.reload();
    app.exec();
    if (status != 0)
        std::fprintf(stderr, "no rows shown\n");
    return status;
}
