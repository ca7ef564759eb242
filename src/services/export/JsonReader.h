#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVarLengthArray>

#include <functional>

// A pull reader of JSON text (RFC 8259), held in memory or read piece by
// piece from a source. It checks the whole grammar as it goes - strings
// must be valid UTF-8 without raw control characters, numbers must have the
// JSON form, nesting is bounded - and builds nothing the caller does not ask
// for, so a large export document is decoded straight into its records.
// Reading from a source, it holds only the value being read and one piece
// beyond it. Containers nest at most kMaxDepth levels; skipping a value uses
// no recursion.
//
// Errors are thrown as JsonReader::Error with the byte offset.
class JsonReader {
public:
    static constexpr int kMaxDepth = 1024;

    enum class Kind { object, array, string, number, boolean, null };
    struct Error {
        QString message;
        qsizetype offset;
    };

    // Fills `into` with up to `maxSize` more bytes of the text and returns
    // how many; 0 at its end.
    using Source = std::function<qsizetype(char* into, qsizetype maxSize)>;
    static constexpr qsizetype kPieceSize = 256 * 1024;

    explicit JsonReader(QByteArrayView text) : m_begin(text.data()), m_at(text.data()), m_end(text.data() + text.size())
    {}
    explicit JsonReader(Source source);

    // The kind of the next value, after white space; an error when nothing
    // that starts a value comes next.
    Kind peek();
    // Only white space is left.
    bool atEnd();
    qsizetype offset() const { return m_base + (m_at - m_begin); }

    void beginObject();
    // Reads the next member's key (as UTF-8 bytes, valid until the next read)
    // and its ':'; false once the object's '}' is consumed.
    bool nextKey(QByteArrayView& key);
    void beginArray();
    // True when another element follows; false once ']' is consumed.
    bool nextElement();

    QString readString();
    // The string's UTF-8 bytes, escapes resolved; valid until the next read.
    QByteArrayView readStringBytes();
    double readNumber();
    bool readBool();
    void readNull();
    // Reads past the next value, whatever it holds.
    void skipValue();

private:
    // Reads more of the text from the source, keeping what starts at `keep`
    // (at or before m_at); the kept bytes may move, and `keep` and m_at move
    // with them. False once the text has ended, or without a source.
    bool refill(const char*& keep);
    // Tries to have n bytes after m_at; fewer only at the end of the text.
    void ensure(qsizetype n);
    // Past a separator to the next member of the open container; false,
    // and the container closed, at its end.
    bool nextMember(char close, const char* unterminated);
    [[noreturn]] void fail(const char* message) const;
    void skipSpace();
    void open(char bracket);
    // Scans a string; sets m_stringAscii.
    QByteArrayView scanString();
    void appendEscape(QByteArray& out);

    const char* m_begin;
    const char* m_at;
    const char* m_end;
    QVarLengthArray<char, 16> m_open; // '{' or '[' per open container
    bool m_first = true;              // no member or element read yet in the innermost container
    bool m_stringAscii = true;
    QByteArray m_scratch;
    // Reading from a source: the unread text, what of it has gone before,
    // and a copy of the last key (a refill would move the buffer under it).
    Source m_source;
    QByteArray m_buffer;
    qsizetype m_base = 0;
    bool m_sourceEnded = false;
    QByteArray m_key;
};
