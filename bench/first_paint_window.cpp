// The floor for the start-up benchmark: the smallest Qt Widgets window, which says when
// it first paints and then ends. With "text" it also draws one line of text, so it pays
// for the font database as every window with words in it does.

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

class Window final : public QWidget
{
public:
    explicit Window(bool text)
        : m_text(text)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (m_text) {
            painter.setPen(Qt::white);
            painter.drawText(8, 20, QStringLiteral("Scanning..."));
        }
        if (!m_painted) {
            m_painted = true;
            std::fprintf(stderr, "first paint\n");
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    }

private:
    bool m_text = false;
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Window window(argc > 1 && std::strcmp(argv[1], "text") == 0);
    window.resize(603, 473);
    window.show();
    return app.exec();
}
