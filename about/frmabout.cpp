#include "frmabout.h"

#include "appcontext.h"
#include "appicon.h"
#include "apptitle.h"
#include "platform.h"
#include "programfolder.h"
#include "version.h"

#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <QSettings>
#endif

bool GetKeyValue(RegistryRoot root, const QString &keyName, const QString &subKeyRef, QString &keyValue)
{
#ifdef Q_OS_WIN
    const QString rootName = root == RegistryRoot::LocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE\\")
                                                                : QStringLiteral("HKEY_CURRENT_USER\\");
    QSettings key(rootName + keyName, QSettings::NativeFormat);
    if (key.status() != QSettings::NoError || !key.contains(subKeyRef)) {
        keyValue.clear();
        return false;
    }
    const QVariant v = key.value(subKeyRef);
    switch (v.typeId()) {
    case QMetaType::QString: {
        QString text = v.toString();
        if (text.endsWith(QChar(0)))
            text.chop(1);
        keyValue = text;
        break;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
        // Each byte as two digits, so that a number reads back unambiguously.
        keyValue = QStringLiteral("&h") + QStringLiteral("%1").arg(v.toUInt(), 8, 16, QLatin1Char('0')).toUpper();
        break;
    default: break; // other kinds leave the text as it was
    }
    return true;
#else
    // No system configuration store here.
    Q_UNUSED(root);
    Q_UNUSED(keyName);
    Q_UNUSED(subKeyRef);
    keyValue.clear();
    return false;
#endif
}

QString findSysInfoTool(const KeyValueReader &read)
{
    QString path;
    // The tool's own entry names it in full and wins when present.
    if (read(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
             QStringLiteral("PATH"), path))
        return path;
    // Otherwise the shared tools folder, if the tool is really in it.
    QString folder;
    if (read(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
             QStringLiteral("MSINFO"), folder)) {
        const QString candidate = joinProgramFolder(folder, QStringLiteral("MSINFO32.EXE"));
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
}

QString versionLine(int major, int minor, int revision)
{
    return QStringLiteral("ﾊﾞｰｼﾞｮﾝ ") + QString::number(major) + QLatin1Char('.') + QString::number(minor)
           + QLatin1Char('.') + QString::number(revision);
}

frmAbout::frmAbout(AppContext &ctx, QWidget *owner) : QDialog(owner), m_ctx(ctx)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(applicationIcon().pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    Label1 = new QLabel(QStringLiteral("CSV形式のテキストファイルから宛先をインポートし同報メールを一括送信します"),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    // A fixed width lets the wrapped text claim all the lines it needs.
    Label1->setFixedWidth(340);
    Label1->setMinimumHeight(Label1->heightForWidth(340));

    Label2 = new QLabel(QStringLiteral("Quillpost 開発チーム　一括同報メール送信ソフト"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);

    auto *text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(Label1);
    text->addStretch(1);

    auto *top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(text, 1);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(Label2, 1, Qt::AlignBottom);
    bottom->addSpacing(12);
    bottom->addLayout(buttons);

    auto *root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addSpacing(6);
    root->addWidget(line);
    root->addLayout(bottom);
    root->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    Form_Load();
}

void frmAbout::Form_Load()
{
    lblVersion->setText(versionLine(QUILLPOST_VERSION_MAJOR, QUILLPOST_VERSION_MINOR, QUILLPOST_VERSION_PATCH));
    lblTitle->setText(appTitle());
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    const QString path = findSysInfoTool(keyReader);
    // A tool that is named but can't be started counts as unavailable too.
    if (path.isEmpty() || !m_ctx.platform->startProcess(path, {}))
        m_ctx.platform->messageBox(this, QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"), appTitle(),
                                   MsgIcon::None, MsgButtons::Ok);
}
