#pragma once
// The tip window: an icon, a title line and seven tips, filled by its caller.

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;

class frmTipA : public QDialog {
    Q_OBJECT
public:
    explicit frmTipA(QWidget *parent = nullptr);

    // Fills the title and the seven tip lines; missing tips are left empty.
    void setTips(const QString &title, const QStringList &tips);

    QLabel *Picture1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *lblTipText1 = nullptr;
    QLabel *lblTipText2 = nullptr;
    QLabel *lblTipText3 = nullptr;
    QLabel *lblTipText4 = nullptr;
    QLabel *lblTipText5 = nullptr;
    QLabel *lblTipText6 = nullptr;
    QLabel *lblTipText7 = nullptr;
    QPushButton *cmdOK = nullptr;

    QList<QLabel *> tipLabels() const;

public slots:
    void cmdOK_Click();
};
