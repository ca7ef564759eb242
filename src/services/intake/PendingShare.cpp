#include "PendingShare.h"

#include "PendingItemFile.h"

#include "model/ItemType.h"
#include "platform/ContainerPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace PendingShare {
namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A folder of ours: made 0700 when missing, so what is shared stays private.
Status ensurePrivateFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return {};
    const QString parent = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(parent))
        return Status::failure(u"cannot create the folder %1"_s.arg(parent));
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return Status::failure(u"cannot create the folder %1: %2"_s.arg(path, errnoText()));
    return {};
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Writes a new file in `folder` under a hidden name (mode 0600, never over
// anything that is there), syncs it and renames it to `name`.
Status writeIntoPlace(const QString& folder, const QString& name, const std::function<bool(int fd)>& fill)
{
    const QByteArray hidden = QFile::encodeName(folder + u"/."_s + name + u".part"_s);
    const QByteArray final = QFile::encodeName(folder + u'/' + name);
    const int fd = ::open(hidden.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return Status::failure(u"cannot write into %1: %2"_s.arg(folder, errnoText()));
    bool ok = fill(fd) && ::fsync(fd) == 0;
    const QString why = errnoText();
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(hidden.constData(), final.constData()) != 0) {
        const QString reason = ok ? errnoText() : why;
        ::unlink(hidden.constData());
        return Status::failure(u"cannot write %1/%2: %3"_s.arg(folder, name, reason));
    }
    return {};
}

Status copyIntoPlace(const QString& from, const QString& folder, const QString& name)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return Status::failure(u"cannot read %1: %2"_s.arg(from, errnoText()));
    Status copied = writeIntoPlace(folder, name, [in](int out) {
        char buffer[1 << 16];
        for (;;) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return n == 0;
            if (!writeAll(out, buffer, n))
                return false;
        }
    });
    ::close(in);
    return copied;
}

} // namespace

Result<Source> sourceFor(const QString& argument, const QString& workingDirectory)
{
    QString path;
    const QUrl url(argument, QUrl::StrictMode);
    const QFileInfo asPath(QDir(workingDirectory), argument);
    if (!argument.isEmpty() && asPath.exists()) {
        path = asPath.absoluteFilePath();
    } else if (url.isValid() && url.isLocalFile()) {
        path = url.toLocalFile();
    } else if (url.isValid() && url.scheme().size() > 1) {
        return Source{url, {}, false};
    } else if (url.scheme().isEmpty()) {
        return Result<Source>::failure(u"%1: no such file"_s.arg(asPath.absoluteFilePath()));
    } else {
        return Result<Source>::failure(u"“%1” is neither a file nor a URL with a scheme"_s.arg(argument));
    }
    const QFileInfo file(path);
    if (!file.exists())
        return Result<Source>::failure(u"%1: no such file"_s.arg(path));
    if (!file.isFile())
        return Result<Source>::failure(u"%1 is not a file"_s.arg(path));
    if (!file.isReadable())
        return Result<Source>::failure(u"%1 cannot be read"_s.arg(path));
    // What the file holds decides, not its name; only the header is read.
    QImageReader reader(file.absoluteFilePath());
    reader.setDecideFormatFromContent(true);
    return Source{{}, file.absoluteFilePath(), reader.canRead()};
}

QString defaultTitle(const Source& source)
{
    if (source.filePath.isEmpty())
        return source.url.host().isEmpty() ? u"Untitled"_s : source.url.host();
    const QString name = QFileInfo(source.filePath).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

Result<QString> write(const QString& containerDirectory, const Source& source, const Options& options)
{
    const QString queue = ContainerPaths::pendingItemsDirectory(containerDirectory);
    if (Status made = ensurePrivateFolder(containerDirectory); !made)
        return Result<QString>::failure(made.error());
    if (Status made = ensurePrivateFolder(queue); !made)
        return Result<QString>::failure(made.error());

    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString entryName = id + u".json"_s;
    PendingItem entry;
    entry.title = options.title.value_or(defaultTitle(source));
    entry.note = options.note;
    Status payload;
    if (source.filePath.isEmpty()) {
        entry.type = options.type.value_or(ItemTypes::rawValue(ItemTypes::detect(source.url)));
        entry.url = source.url.toString(QUrl::FullyEncoded);
    } else if (source.isPicture) {
        entry.type = options.type.value_or(ItemTypes::rawValue(ItemType::screenshot));
        const QString suffix = QFileInfo(source.filePath).suffix().toLower();
        entry.imageFileName = suffix.isEmpty() ? id : id + u'.' + suffix;
        payload = copyIntoPlace(source.filePath, queue, *entry.imageFileName);
    } else {
        // A document stays in the container: the item refers to it there.
        entry.type = options.type.value_or(ItemTypes::rawValue(ItemType::document));
        const QString name = QFileInfo(source.filePath).fileName();
        entry.filePath = id + u'/' + name;
        payload = ensurePrivateFolder(queue + u'/' + id);
        if (payload)
            payload = copyIntoPlace(source.filePath, queue + u'/' + id, name);
    }
    if (payload) {
        const QByteArray json = PendingItemFile::encode(entry);
        payload =
            writeIntoPlace(queue, entryName, [&json](int fd) { return writeAll(fd, json.constData(), json.size()); });
    }
    if (!payload) {
        remove(containerDirectory, entryName);
        return Result<QString>::failure(payload.error());
    }
    return entryName;
}

void remove(const QString& containerDirectory, const QString& entryName)
{
    QDir queue(ContainerPaths::pendingItemsDirectory(containerDirectory));
    const QString id = entryName.chopped(5);
    if (!PendingItemFile::isPlainFileName(entryName) || !entryName.endsWith(u".json") || QUuid(id).isNull())
        return;
    queue.remove(entryName);
    const QStringList pictures = queue.entryList({id + u".*"_s, id}, QDir::Files | QDir::System | QDir::Hidden);
    for (const QString& picture : pictures)
        queue.remove(picture);
    QDir(queue.filePath(id)).removeRecursively();
}

} // namespace PendingShare
