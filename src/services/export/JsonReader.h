#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVarLengthArray>

// A pull reader of JSON text (RFC 8259) held in memory. It checks the whole
// grammar as it goes - strings must be valid UTF-8 without raw control
// characters, numbers must have the JSON form, nesting is bounded - and
// builds nothing the caller does not ask for, so a large export document is
// decoded straight into its records. Containers nest at most kMaxDepth
// levels; skipping a value uses no recursion.
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

    explicit JsonReader(QByteArrayView text) : m_begin(text.data()), m_at(text.data()), m_end(text.data() + text.size())
    {}

    // The kind of the next value, after white space; an error when nothing
    // that starts a value comes next.
    Kind peek();
    // Only white space is left.
    bool atEnd();
    qsizetype offset() const { return m_at - m_begin; }

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
};
