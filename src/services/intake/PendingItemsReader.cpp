#include "PendingItemsReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Opens a name inside the folder without following a link, and without
// waiting on a FIFO or a device that someone named like an entry.
int openInside(int dirFd, const QString& name)
{
    return ::openat(dirFd, QFile::encodeName(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// The whole file, read through an open descriptor of a regular file; none
// when it grows past `limit` or a read fails.
std::optional<QByteArray> readAll(int fd, qint64 size, qint64 limit)
{
    QByteArray bytes;
    bytes.reserve(qMin(size, limit) + 1);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return bytes;
        if (bytes.size() + n > limit)
            return std::nullopt;
        bytes.append(buffer, n);
    }
}

} // namespace

PendingItemsReader::PendingItemsReader(const QString& queueDirectory)
    : m_path(QDir::cleanPath(queueDirectory)), m_canonicalPath(QFileInfo(queueDirectory).canonicalFilePath())
{
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

PendingItemsReader::~PendingItemsReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QStringList PendingItemsReader::entries() const
{
    QStringList names;
    if (m_fd < 0)
        return names;
    const int listFd = ::dup(m_fd);
    if (listFd < 0)
        return names;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!name.startsWith(u'.') && name.endsWith(u".json"))
            names.append(name);
    }
    ::closedir(dir);
    return names;
}

std::optional<QByteArray> PendingItemsReader::readEntryFile(const QString& name, PreparedPendingItem& out) const
{
    const int fd = openInside(m_fd, name);
    if (fd < 0) {
        if (errno == ENOENT) {
            out.kind = PreparedPendingItem::Kind::skipped; // taken by an earlier run
        } else {
            out.reason = errno == ELOOP ? u"it is a symbolic link"_s : QString::fromLocal8Bit(std::strerror(errno));
        }
        return std::nullopt;
    }
    struct stat info {};
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &info) != 0) {
        out.reason = u"it cannot be examined"_s;
    } else if (S_ISDIR(info.st_mode)) {
        out.kind = PreparedPendingItem::Kind::skipped; // a folder cannot be removed as an entry
    } else if (!S_ISREG(info.st_mode)) {
        out.reason = u"it is not a regular file"_s;
    } else if (info.st_size > PendingItemFile::kMaxBytes) {
        out.reason = u"it is larger than 1 MiB"_s;
    } else {
        bytes = readAll(fd, info.st_size, PendingItemFile::kMaxBytes);
        if (!bytes)
            out.reason = u"it cannot be read"_s;
    }
    ::close(fd);
    return bytes;
}

PreparedPendingItem PendingItemsReader::prepare(const QString& entryName) const
{
    PreparedPendingItem out;
    out.entryName = entryName;
    const std::optional<QByteArray> bytes = readEntryFile(entryName, out);
    if (!bytes)
        return out;
    std::optional<PendingItem> parsed = PendingItemFile::parse(*bytes);
    if (!parsed) {
        out.reason = u"it is not a JSON object with a \"type\" and a \"title\""_s;
        return out;
    }
    out.entry = std::move(*parsed);
    if (out.entry.url) {
        const QUrl url(*out.entry.url, QUrl::StrictMode);
        if (url.isValid() && !url.isEmpty()) {
            out.kind = PreparedPendingItem::Kind::web;
            out.url = url;
            return out;
        }
    }
    if (out.entry.imageFileName)
        preparePicture(*out.entry.imageFileName, out);
    else if (out.entry.filePath)
        prepareDocument(*out.entry.filePath, out);
    else
        out.reason = u"it names no usable address, picture or file"_s;
    return out;
}

void PendingItemsReader::preparePicture(const QString& name, PreparedPendingItem& out) const
{
    if (!PendingItemFile::isPlainFileName(name)) {
        out.reason = u"its picture is not a file directly inside the queue folder"_s;
        return;
    }
    const int fd = openInside(m_fd, name);
    if (fd < 0) {
        out.reason = errno == ELOOP ? u"its picture is a symbolic link"_s : u"its picture cannot be read"_s;
        return;
    }
    struct stat info {};
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        out.reason = u"its picture is not a regular file"_s;
    else if (info.st_size > kMaxPictureBytes)
        out.reason = u"its picture is larger than 64 MiB"_s;
    else if (bytes = readAll(fd, info.st_size, kMaxPictureBytes); !bytes)
        out.reason = u"its picture cannot be read"_s;
    ::close(fd);
    if (!bytes)
        return;
    out.pictureBytes = std::move(*bytes);
    out.pictureName = name;
    out.kind = PreparedPendingItem::Kind::picture;
}

void PendingItemsReader::prepareDocument(const QString& relativePath, PreparedPendingItem& out) const
{
    if (relativePath.isEmpty() || relativePath.startsWith(u'/') || m_canonicalPath.isEmpty()) {
        out.reason = u"its file is not inside the queue folder"_s;
        return;
    }
    // Links are followed to where they lead, and that must be in the folder.
    const QByteArray joined = QFile::encodeName(m_path + u'/' + relativePath);
    char resolved[PATH_MAX];
    if (!::realpath(joined.constData(), resolved)) {
        out.reason = u"its file does not exist"_s;
        return;
    }
    const QString path = QFile::decodeName(resolved);
    struct stat info {};
    if (!path.startsWith(m_canonicalPath + u'/')) {
        out.reason = u"its file is not inside the queue folder"_s;
    } else if (::stat(resolved, &info) != 0 || !S_ISREG(info.st_mode)) {
        out.reason = u"its file is not a regular file"_s;
    } else {
        out.kind = PreparedPendingItem::Kind::document;
        out.url = QUrl::fromLocalFile(path);
    }
}
