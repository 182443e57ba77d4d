#include "dialogsuppressed.h"

#include "addressdb.h"
#include "platform.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

QString liftSuppressionQuestion(const QString &address, const Suppression &s)
{
    return QStringLiteral("このメールアドレスは配信停止中です。\n%1\n%2\n配信停止を解除して、送信するようにしますか？")
        .arg(address, s.reason + QStringLiteral("（") + s.date + QStringLiteral("）"));
}

DialogSuppressed::DialogSuppressed(Platform &platform, AddressDb &db, QWidget *parent)
    : QDialog(parent), m_platform(platform), m_db(db)
{
    setObjectName(QStringLiteral("DialogSuppressed"));
    setWindowTitle(QStringLiteral("配信停止中のアドレス"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    resize(860, 440);

    lblCount = new QLabel(this);
    lblCount->setObjectName(QStringLiteral("lblCount"));
    grdSuppressed = new QTableWidget(0, 3, this);
    grdSuppressed->setObjectName(QStringLiteral("grdSuppressed"));
    grdSuppressed->setHorizontalHeaderLabels(
        {QStringLiteral("メールアドレス"), QStringLiteral("理由"), QStringLiteral("登録日")});
    grdSuppressed->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdSuppressed->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdSuppressed->setSelectionMode(QAbstractItemView::SingleSelection);
    grdSuppressed->setWordWrap(false);
    grdSuppressed->verticalHeader()->hide();
    grdSuppressed->verticalHeader()->setDefaultSectionSize(grdSuppressed->fontMetrics().height() + 6);
    grdSuppressed->horizontalHeader()->setHighlightSections(false);
    grdSuppressed->horizontalHeader()->setSectionResizeMode(ColReason, QHeaderView::Stretch);
    grdSuppressed->horizontalHeader()->setSectionResizeMode(ColDate, QHeaderView::ResizeToContents);
    grdSuppressed->setColumnWidth(ColAddress, 240);
    cmdLift = new QPushButton(QStringLiteral("配信停止を解除(&R)"), this);
    cmdLift->setObjectName(QStringLiteral("cmdLift"));
    cmdLift->setToolTip(QStringLiteral("選択したアドレスの配信停止を解除し、送信するようにします"));
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdLift->setAutoDefault(false);
    cmdClose->setDefault(true);
    connect(cmdLift, &QPushButton::clicked, this, &DialogSuppressed::cmdLift_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    auto *f1 = new QAction(this);
    f1->setShortcut(QKeySequence::HelpContents);
    connect(f1, &QAction::triggered, this, [this] { openHelp(m_platform, this, QStringLiteral("suppression")); });
    addAction(f1);
    connect(grdSuppressed, &QTableWidget::itemSelectionChanged, this,
            [this] { cmdLift->setEnabled(grdSuppressed->currentRow() >= 0); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdLift);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    auto *root = new QVBoxLayout(this);
    root->addWidget(lblCount);
    root->addWidget(grdSuppressed, 1);
    root->addLayout(buttons);
    reload();
}

void DialogSuppressed::reload()
{
    QString error;
    m_rows = suppressions(m_db, &error);
    grdSuppressed->setRowCount(int(m_rows.size()));
    for (int r = 0; r < m_rows.size(); ++r) {
        const Suppression &s = m_rows[r];
        const QString texts[] = {s.address, s.reason, s.date};
        for (int c = 0; c < 3; ++c) {
            auto *item = new QTableWidgetItem(texts[c]);
            item->setToolTip(texts[c]);
            grdSuppressed->setItem(r, c, item);
        }
    }
    lblCount->setText(error.isEmpty() ? QStringLiteral("　配信停止中のアドレス　%1件").arg(m_rows.size())
                                      : QStringLiteral("配信停止中のアドレスを読めませんでした。\n") + error);
    if (!m_rows.isEmpty())
        grdSuppressed->selectRow(0);
    cmdLift->setEnabled(!m_rows.isEmpty());
}

void DialogSuppressed::cmdLift_Click()
{
    const int row = grdSuppressed->currentRow();
    if (row < 0 || row >= m_rows.size())
        return;
    const Suppression s = m_rows[row];
    if (m_platform.messageBox(this, liftSuppressionQuestion(s.address, s), QStringLiteral("Question"),
                              MsgIcon::Question, MsgButtons::YesNo, MsgDefault::No)
        != MsgAnswer::Yes)
        return;
    QString error;
    if (!liftSuppressionAndResume(m_db, s.address, &error))
        info(QStringLiteral("データベースの接続に失敗しました。") + QLatin1Char('\n') + error);
    reload();
    grdSuppressed->selectRow(std::min(row, grdSuppressed->rowCount() - 1));
}

void DialogSuppressed::info(const QString &text)
{
    m_platform.messageBox(this, text, QStringLiteral("Information"), MsgIcon::Information, MsgButtons::Ok);
}
