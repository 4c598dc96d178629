// The floor for the start-up benchmark: the smallest Qt Widgets window, which says when
// it first paints and then ends.

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

class Window final : public QWidget
{
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), Qt::black);
        if (!m_painted) {
            m_painted = true;
            std::fprintf(stderr, "first paint\n");
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    }

private:
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Window window;
    window.resize(603, 473);
    window.show();
    return app.exec();
}
