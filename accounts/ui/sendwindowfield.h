#pragma once
// The account dialog's field for the messages a run keeps in flight on one
// connection where the server takes them (CHUNKING): "同時に送信中にする
// メールの数", 1 to 100. A per-minute limit turns the window off, so the
// field is off while one is set.

#include <QWidget>

class QLabel;
class QSpinBox;

class SendWindowField : public QWidget {
    Q_OBJECT
public:
    explicit SendWindowField(QWidget *parent = nullptr);

    void setValue(int messages);
    int value() const;
    // A per-minute limit is set: the window does not apply.
    void setPaced(bool paced);

    QLabel *lblSendWindow = nullptr;
    QSpinBox *spnSendWindow = nullptr;
};
