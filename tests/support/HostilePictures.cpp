#include "HostilePictures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryFile>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

extern char** environ;

namespace HostilePictures {

namespace {

void appendBigEndian(QByteArray& out, quint32 v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

void appendLittleEndian16(QByteArray& out, quint16 v)
{
    out.append(char(v & 0xFF)).append(char(v >> 8));
}

// Screen descriptor with a two-colour table, as every GIF here starts.
QByteArray gifHeader(quint16 width, quint16 height)
{
    QByteArray gif("GIF89a");
    appendLittleEndian16(gif, width);
    appendLittleEndian16(gif, height);
    gif.append(char(0x80)).append('\0').append('\0');
    gif.append(QByteArray("\x00\x00\x00\xFF\xFF\xFF", 6));
    return gif;
}

// An image descriptor whose data is a clear code and an end code: no pixels.
QByteArray gifEmptyFrame(quint16 width, quint16 height)
{
    QByteArray frame(1, ',');
    appendLittleEndian16(frame, 0);
    appendLittleEndian16(frame, 0);
    appendLittleEndian16(frame, width);
    appendLittleEndian16(frame, height);
    frame.append('\0');
    frame.append(QByteArray("\x02\x01\x2C\x00", 4));
    return frame;
}

} // namespace

QByteArray pngDeclaring(quint32 width, quint32 height)
{
    auto chunk = [](const char* type, const QByteArray& data) {
        QByteArray c;
        appendBigEndian(c, quint32(data.size()));
        const QByteArray body = QByteArray(type) + data;
        c.append(body);
        appendBigEndian(c, quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))));
        return c;
    };
    QByteArray ihdr;
    appendBigEndian(ihdr, width);
    appendBigEndian(ihdr, height);
    ihdr.append(char(8)).append(char(2)).append(char(0)).append(char(0)).append(char(0)); // 8-bit RGB
    const QByteArray raw(64 * 1024, '\0');
    QByteArray idat(int(compressBound(uLong(raw.size()))), '\0');
    uLongf idatLength = uLongf(idat.size());
    compress(reinterpret_cast<Bytef*>(idat.data()), &idatLength, reinterpret_cast<const Bytef*>(raw.constData()),
             uLong(raw.size()));
    idat.resize(int(idatLength));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", idat) + chunk("IEND", {});
}

QByteArray gifScreen(quint16 width, quint16 height)
{
    return gifHeader(width, height) + gifEmptyFrame(16, 16) + ';';
}

QByteArray gifFrames(int frames)
{
    QByteArray gif = gifHeader(64, 64);
    for (int i = 0; i < frames; ++i) {
        gif.append(QByteArray("\x21\xF9\x04\x00\x01\x00\x00\x00", 8)); // 10 ms a frame
        gif.append(gifEmptyFrame(64, 64));
    }
    return gif + ';';
}

QByteArray jpegDeclaring(quint16 width, quint16 height)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    // The baseline frame header: FF C0, length, precision, height, width.
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0)
        return {};
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xFF);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xFF);
    return jpeg;
}

QByteArray webpDeclaring(quint32 width, quint32 height)
{
    // VP8L: signature 0x2F, then 14 bits of width - 1, 14 of height - 1,
    // one alpha bit and a three-bit version, least significant first.
    const quint32 bits = ((width - 1) & 0x3FFF) | (((height - 1) & 0x3FFF) << 14);
    QByteArray vp8l(1, char(0x2F));
    vp8l.append(char(bits & 0xFF)).append(char(bits >> 8)).append(char(bits >> 16)).append(char(bits >> 24));
    vp8l.append(QByteArray(64, '\0'));
    QByteArray chunk("VP8L");
    const quint32 size = quint32(vp8l.size());
    chunk.append(char(size & 0xFF)).append(char(size >> 8)).append(char(size >> 16)).append(char(size >> 24));
    chunk.append(vp8l);
    QByteArray riff("RIFF");
    const quint32 riffSize = quint32(chunk.size() + 4);
    riff.append(char(riffSize & 0xFF))
        .append(char(riffSize >> 8))
        .append(char(riffSize >> 16))
        .append(char(riffSize >> 24));
    return riff + "WEBP" + chunk;
}

Measured runMeasured(const QString& program, const QStringList& args, const QStringList& env)
{
    std::vector<QByteArray> storage;
    storage.push_back(program.toLocal8Bit());
    for (const QString& a : args)
        storage.push_back(a.toLocal8Bit());
    const size_t argCount = storage.size();
    // The extra entries replace inherited ones of the same name.
    QList<QByteArray> overridden;
    for (const QString& e : env)
        overridden.append(e.section(u'=', 0, 0).toLocal8Bit() + '=');
    for (char** e = environ; *e; ++e) {
        const QByteArrayView entry(*e);
        if (std::none_of(overridden.cbegin(), overridden.cend(),
                         [&](const QByteArray& name) { return entry.startsWith(name); }))
            storage.emplace_back(*e);
    }
    for (const QString& e : env)
        storage.push_back(e.toLocal8Bit());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (size_t i = 0; i < storage.size(); ++i)
        (i < argCount ? argv : envp).push_back(storage[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    QTemporaryFile errorFile;
    if (!errorFile.open())
        return {};
    const QByteArray errorPath = QFile::encodeName(errorFile.fileName());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.constData(), O_WRONLY | O_TRUNC, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Measured result;
    if (spawned != 0)
        return result;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.peakKiB = usage.ru_maxrss;
    result.errors = errorFile.readAll().right(4096);
    return result;
}

} // namespace HostilePictures
