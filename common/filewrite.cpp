#include "filewrite.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

QString diskFullText(const QString &path)
{
    return QStringLiteral("ディスクの空きがありません（%1）").arg(path);
}

QString fileErrorText(const QString &path, int error)
{
    if (error == ENOSPC || error == EDQUOT)
        return diskFullText(path);
    return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

bool openPrivate(QFile &file, QIODevice::OpenMode mode, QString *error)
{
    if (!file.open(mode, kOwnerOnly)) {
        *error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    }
    // A file from before may be readable by others; a device is left alone.
    if (QFileInfo(file).isFile())
        file.setPermissions(kOwnerOnly);
    return true;
}

bool openPrivate(QSaveFile &file, QIODevice::OpenMode mode, QString *error)
{
    if (!file.open(mode)) {
        *error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    }
    // The temporary file takes the old file's mode, or the usual one.
    if (!file.setPermissions(kOwnerOnly)) {
        *error = file.fileName() + QStringLiteral(": ") + file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

bool writeFully(QFileDevice &file, QByteArrayView data, QString *error)
{
    // Straight to the descriptor: QFile turns a short write into an error
    // without errno, and a full disk shows first as a short write.
    if (!file.flush()) {
        *error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    }
    const int fd = file.handle();
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = fileErrorText(file.fileName(), n < 0 ? errno : ENOSPC);
            return false;
        }
        done += n;
    }
    return true;
}

bool syncToDisk(QFileDevice &file, QString *error)
{
    if (!file.flush())
        return fail(error, file.fileName() + QStringLiteral(": ") + file.errorString());
    if (::fsync(file.handle()) != 0)
        return fail(error, fileErrorText(file.fileName(), errno));
    return true;
}

bool syncToDisk(const QString &path, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail(error, fileErrorText(path, errno));
    const bool synced = ::fsync(fd) == 0;
    const int why = errno;
    ::close(fd);
    return synced || fail(error, fileErrorText(path, why));
}

bool saveWholeFile(const QString &path, QByteArrayView data, FileAccess access, QString *error)
{
    QSaveFile file(path);
    QString why;
    const bool opened = access == FileAccess::OwnerOnly ? openPrivate(file, QIODevice::WriteOnly, &why)
                                                        : file.open(QIODevice::WriteOnly);
    if (!opened)
        return fail(error, why.isEmpty() ? path + QStringLiteral(": ") + file.errorString() : why);
    // A file not committed is dropped with its temporary file.
    if (!writeFully(file, data, &why) || !syncToDisk(file, &why))
        return fail(error, why);
    if (!file.commit())
        return fail(error, path + QStringLiteral(": ") + file.errorString());
    return true;
}
