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

    // Makes the controls and decodes the picture, once; the first show does it.
    void ensureControls();

    void Label1Click(); // the administrator's address: a mail to it
    void Label2Click(); // the sales address: a mail to it
    void Label7Click(); // the web address: opened in the browser
    void Button1Click(); // "OK": hides the box

    // Everything inside the border; the controls' places are relative to it.
    QWidget* ClientArea = nullptr;
    QLabel* Image1 = nullptr; // the background picture
    QLabel* Label3 = nullptr; // the program's name and version
    QLabel* Label10 = nullptr; // "Network Monitor"
    QLabel* Label5 = nullptr; // "E-MAIL:"
    QLabel* Label1 = nullptr; // link: the administrator's address
    QLabel* Label2 = nullptr; // link: the sales address
    QLabel* Label6 = nullptr; // "WWW:"
    QLabel* Label7 = nullptr; // link: the web address
    QPushButton* Button1 = nullptr; // "OK"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

public:
    void setVisible(bool visible) override;

private:
    QLabel* makeLabel(const QString& name, const QString& text, const QFont& font, QRect place);
    QLabel* makeLink(const QString& name, const QString& text, QRect place);

    bool m_centred = false;
};
