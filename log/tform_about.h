#pragma once
// The about box: borderless, with the product's name, the maker's addresses as links
// that open through the desktop, and an OK button that hides it.

#include <QDialog>

class QLabel;
class QPushButton;

class TForm_About final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TForm_About)

public:
    static constexpr char kAdminAddress[] = "info@veltran.example";
    static constexpr char kSalesAddress[] = "sales@veltran.example";
    static constexpr char kWebAddress[] = "http://www.veltran.example/";
    static constexpr char kWebAddressShown[] = "www.veltran.example";
    static constexpr int kBorder = 2;

    explicit TForm_About(QWidget* parent = nullptr);
    ~TForm_About() override;

    void Label1Click();
    void Label2Click();
    void Label7Click();
    void Button1Click();

    // Everything inside the border; the controls' places are relative to it.
    QWidget* ClientArea = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QLabel* makeLabel(const QString& name, const QString& text, const QFont& font, QRect place);
    QLabel* makeLink(const QString& name, const QString& text, QRect place);

    bool m_centred = false;
};
