#include "filecheck.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

namespace {

QString said(const char *text)
{
    return QCoreApplication::translate("FileCheck", text);
}

QString errorText(int error)
{
    if (error == ENOENT || error == ENOTDIR) {
        return said("it does not exist");
    }
    if (error == EACCES || error == EPERM) {
        return said("you may not read it");
    }
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString unreadableReason(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status { };
    if (::stat(name.constData(), &status) != 0) {
        return errorText(errno);
    }
    if (S_ISDIR(status.st_mode)) {
        return said("it is a folder");
    }
    if (S_ISFIFO(status.st_mode)) {
        return said("it is a FIFO, not a file");
    }
    if (!S_ISREG(status.st_mode)) {
        return said("it is a device or socket, not a file");
    }
    return ::access(name.constData(), R_OK) == 0 ? QString() : errorText(errno);
}

} // namespace bibsources
