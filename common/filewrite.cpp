#include "filewrite.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <unistd.h>

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
    const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!file.open(mode, owner)) {
        *error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    }
    // A file from before may be readable by others; a device is left alone.
    if (QFileInfo(file).isFile())
        file.setPermissions(owner);
    return true;
}

bool writeFully(QFile &file, QByteArrayView data, QString *error)
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
