// libFuzzer target for the pending-item file that other programs leave in
// the queue folder, read by the intake's own reader over a real folder.
//
// The folder holds a picture, a document, and the ways out of it: a link to
// a file outside, a link to the container, a link up from a sub-folder, the
// store beside it. Whatever the entry says, a picture it makes is a plain
// file directly inside the folder, a document resolves to a regular file
// inside it, and what the reader accepts is written back by encode and reads
// the same. isPlainFileName agrees with a reference built on path cleaning.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target pending_item_fuzz
//   build/fuzz/fuzz/pending_item_fuzz -dict=fuzz/pending_item.dict fuzz/corpus/pending_item

#include "services/intake/PendingItemFile.h"
#include "services/intake/PendingItemsReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& input)
{
    std::fprintf(stderr, "%s: %s\n", what, input.left(400).constData());
    std::abort();
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

struct Queue {
    QTemporaryDir container;
    QString path = container.filePath(u"PendingItems"_s);
    QString canonical;

    Queue()
    {
        QDir().mkpath(path + u"/docs"_s);
        write(container.filePath(u"outside.png"_s), "outside");
        write(container.filePath(u"default.store"_s), "SQLite format 3");
        write(path + u"/a.png"_s, "picture");
        write(path + u"/docs/r.pdf"_s, "%PDF-1.4");
        QFile::link(u"../outside.png"_s, path + u"/link.png"_s);
        QFile::link(u".."_s, path + u"/out"_s);
        QFile::link(u"../.."_s, path + u"/docs/up"_s);
        QFile::link(u"docs/r.pdf"_s, path + u"/latest.pdf"_s);
        canonical = QFileInfo(path).canonicalFilePath();
    }
};

// Directly inside a folder, by the rules of path cleaning.
bool plainByReference(const QString& name)
{
    if (name.isEmpty() || name.contains(QChar(0)))
        return false;
    const QString joined = u"/q/"_s + name;
    const QString cleaned = QDir::cleanPath(joined);
    return cleaned == joined && QFileInfo(cleaned).path() == u"/q";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Queue* s_queue = new Queue;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));

    const std::optional<PendingItem> parsed = PendingItemFile::parse(input);
    if (parsed) {
        if (PendingItemFile::parse(PendingItemFile::encode(*parsed)) != parsed)
            fail("an accepted entry reads back differently", input);
        for (const auto& name : {parsed->imageFileName, parsed->filePath, std::optional(parsed->title)}) {
            if (name && PendingItemFile::isPlainFileName(*name) != plainByReference(*name))
                fail("isPlainFileName disagrees with the reference", input);
        }
    }

    write(s_queue->path + u"/entry.json"_s, input);
    const PendingItemsReader reader(s_queue->path);
    const PreparedPendingItem prepared = reader.prepare(u"entry.json"_s);
    using Kind = PreparedPendingItem::Kind;
    if (!parsed && prepared.kind != Kind::none)
        fail("an entry that does not parse made something", input);
    switch (prepared.kind) {
    case Kind::web:
        if (!parsed || !parsed->url || !prepared.url.isValid())
            fail("a web item without a usable url", input);
        break;
    case Kind::picture: {
        if (!PendingItemFile::isPlainFileName(prepared.pictureName) || prepared.pictureName != parsed->imageFileName)
            fail("a picture that is not the plain name the entry gave", input);
        const QFileInfo picture(s_queue->path + u'/' + prepared.pictureName);
        if (picture.isSymLink() || !picture.isFile())
            fail("a picture that is a link or no regular file", input);
        QFile file(picture.filePath());
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != prepared.pictureBytes)
            fail("picture bytes from somewhere else", input);
        break;
    }
    case Kind::document: {
        const QString path = prepared.url.toLocalFile();
        if (!path.startsWith(s_queue->canonical + u'/') || !QFileInfo(path).isFile())
            fail("a document outside the queue folder", input);
        break;
    }
    case Kind::none:
    case Kind::skipped: break;
    }
    return 0;
}
