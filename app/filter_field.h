#pragma once
// The filter at the right end of the toolbar band: the text field (Escape clears it)
// and a small menu button with the options that narrow the rows the same way or mark
// them, "Hide loopback" and "Mark new and closed", and the way to the Preferences.

#include <QLineEdit>
#include <QWidget>

class QAction;
class QToolButton;

class FilterEdit final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilterEdit)

public:
    explicit FilterEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class FilterField final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilterField)

public:
    explicit FilterField(QWidget* parent = nullptr);

    FilterEdit* edit() const { return m_edit; }
    QAction* hideLoopback() const { return m_hideLoopback; }
    QAction* markNewRows() const { return m_markNew; }
    QAction* preferences() const { return m_preferences; }

private:
    FilterEdit* m_edit;
    QToolButton* m_menuButton;
    QAction* m_hideLoopback;
    QAction* m_markNew;
    QAction* m_preferences;
};
