// Times the import window's preview and commit on a generated address file,
// against the sqlite3 shell importing the same rows, and reports the peak
// memory of the whole process.
//
// bench_import WORKDIR ROWS   (prints the result line last)

#include "addressdb.h"
#include "appcontext.h"
#include "dbstatement.h"
#include "dialogexcel.h"
#include "importgridmodel.h"
#include "platform.h"
#include "sendlist.h"
#include "settingsstore.h"
#include "textcodec.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

int kRows = 100000;

// A desktop that answers nothing and records the messages, so a failure
// shows up in the output instead of waiting for a click.
class BenchPlatform : public Platform {
public:
    QStringList messages;
    MsgAnswer messageBox(QWidget *, const QString &text, const QString &, MsgIcon, MsgButtons, MsgDefault) override
    {
        messages << text;
        return MsgAnswer::Ok;
    }
    std::optional<QString> inputBox(QWidget *, const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    FileDialogResult openFileDialog(QWidget *, const FileDialogSpec &) override { return {}; }
    FileDialogResult saveFileDialog(QWidget *, const FileDialogSpec &) override { return {}; }
    bool printDialog(QWidget *, const QString &) override { return false; }
    bool printerSetupDialog(QWidget *, const QString &) override { return false; }
    std::unique_ptr<PrintJob> startPrintJob() override { return nullptr; }
    bool shellOpen(QWidget *, const QString &) override { return false; }
    void showHelpWindow(QWidget *, const QString &) override {}
    bool startProcess(const QString &, const QStringList &) override { return false; }
    int showModal(QWidget *) override { return 0; }
    void setBusy(bool) override {}
    QDateTime now() override { return QDateTime::currentDateTime(); }
    QString programFolder() override { return QDir::tempPath(); }
    QString helpFolder() override { return QDir::tempPath(); }
};

QString fullWidthDigits(int n)
{
    QString s = QString::number(n);
    for (QChar &c : s)
        c = QChar(char16_t(c.unicode() + 0xFEE0));
    return s;
}

// Half the names full-width (kanji and katakana), half ASCII; now and then an
// upper-case or full-width address, a repeated address, a row without "@".
bool generate(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QString chunk;
    for (int i = 0; i < kRows; ++i) {
        QString name1, name2;
        if (i % 2 == 0) {
            name1 = QStringLiteral("山田太郎") + fullWidthDigits(i);
            name2 = QStringLiteral("カブシキガイシャ　エイギョウブ");
        } else {
            name1 = QStringLiteral("Taro Yamada %1").arg(i);
            name2 = QStringLiteral("Sales Dept.");
        }
        QString address = QStringLiteral("user%1@example.co.jp").arg(i, 6, 10, QLatin1Char('0'));
        if (i % 500 == 1)
            address = QStringLiteral("user%1@example.co.jp").arg(i - 1, 6, 10, QLatin1Char('0'));
        if (i % 10 == 3)
            address = address.toUpper();
        if (i % 50 == 7)
            address = QStringLiteral("ｕｓｅｒ") + fullWidthDigits(i) + QStringLiteral("＠ｅｘａｍｐｌｅ．ｊｐ");
        if (i % 1000 == 999)
            address = QStringLiteral("03-1234-%1").arg(i % 10000, 4, 10, QLatin1Char('0'));
        chunk += name1 + QLatin1Char(',') + name2 + QLatin1Char(',') + address + QStringLiteral("\r\n");
        if (chunk.size() > (1 << 20)) {
            f.write(encodeCp932(chunk));
            chunk.clear();
        }
    }
    f.write(encodeCp932(chunk));
    return f.error() == QFileDevice::NoError;
}

bool run(const QString &program, const QStringList &args, const QString &stdinFile, const QString &stdoutFile)
{
    QProcess p;
    if (!stdinFile.isEmpty())
        p.setStandardInputFile(stdinFile);
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return false;
    }
    return true;
}

int countRows(AddressDb &db)
{
    DbStatement st(db, "SELECT count(*) FROM 宛先");
    return st.step() == DbStatement::Row ? int(st.int64(0)) : -1;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_import WORKDIR ROWS\n");
        return 2;
    }
    kRows = std::atoi(argv[2]);
    const QDir work(QString::fromLocal8Bit(argv[1]));
    const QString csv = work.filePath(QStringLiteral("addresses.csv"));
    const QString utf8 = work.filePath(QStringLiteral("addresses-utf8.csv"));
    const QString shellDb = work.filePath(QStringLiteral("shell.db"));
    const QString script = work.filePath(QStringLiteral("import.sql"));
    const QString ourDb = work.filePath(QStringLiteral("bench.cdb"));
    for (const QString &f : {csv, utf8, shellDb, script, ourDb})
        QFile::remove(f);

    if (!generate(csv))
        return 1;
    if (!run(QStringLiteral("iconv"),
             {QStringLiteral("-f"), QStringLiteral("CP932"), QStringLiteral("-t"), QStringLiteral("UTF-8"), csv},
             QString(), utf8))
        return 1;

    // The shell's own import: same rows, one transaction.
    {
        QFile s(script);
        if (!s.open(QIODevice::WriteOnly))
            return 1;
        s.write(QByteArray("CREATE TABLE \"宛先\" (\"宛先1\" TEXT, \"宛先2\" TEXT, \"メールアドレス\" TEXT);\n"
                           ".mode csv\nBEGIN;\n.import '")
                + utf8.toUtf8() + "' \"宛先\"\nCOMMIT;\n");
    }
    QElapsedTimer t;
    t.start();
    if (!run(QStringLiteral("sqlite3"), {shellDb}, script, QString()))
        return 1;
    const double sqlite3s = t.nsecsElapsed() / 1e9;

    BenchPlatform platform;
    SettingsStore settings(work.filePath(QStringLiteral("settings.ini")));
    SendList sendList;
    AddressDb db;
    QString error;
    if (!db.open(ourDb, true, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    AppContext ctx;
    ctx.platform = &platform;
    ctx.settings = &settings;
    ctx.sendList = &sendList;
    ctx.addressDb = &db;

    DialogExcel dlg(ctx);
    dlg.show();
    QCoreApplication::processEvents();
    dlg.txtFileName->setText(csv);

    t.restart();
    dlg.Command5_Click();
    QCoreApplication::processEvents(); // the grids draw their first rows
    const double previewS = t.nsecsElapsed() / 1e9;

    const qsizetype usable = dlg.grid1()->dataRows().size();
    dlg.Text2->setText(QStringLiteral("ベンチマーク"));
    t.restart();
    dlg.Command1_Click();
    const double commitS = t.nsecsElapsed() / 1e9;

    const int stored = countRows(db);
    if (!platform.messages.isEmpty() || stored != usable || usable < kRows * 9 / 10 || sendList.count() != usable) {
        std::fprintf(stderr, "import went wrong: usable=%lld stored=%d send=%lld messages=%s\n",
                     static_cast<long long>(usable), stored, static_cast<long long>(sendList.count()),
                     qPrintable(platform.messages.join(QLatin1Char('|'))));
        return 1;
    }

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const double peakMb = ru.ru_maxrss / 1024.0;
    std::printf("usable=%lld rejected=%lld duplicates=%s\n", static_cast<long long>(usable),
                static_cast<long long>(dlg.grid2()->dataRows().size()),
                qPrintable(QString::number(dlg.list2Items().size())));
    std::printf("preview_s=%.3f commit_s=%.3f\n", previewS, commitS);
    std::printf("import: rows=%d seconds=%.3f sqlite3_s=%.3f ratio=%.2f peak_mb=%.1f\n", kRows, previewS + commitS,
                sqlite3s, (previewS + commitS) / sqlite3s, peakMb);
    return 0;
}
