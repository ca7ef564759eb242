#pragma once

#include <QByteArray>
#include <QIODevice>

// A write-only device that takes a given number of bytes and then fails, as
// a full disk does half-way through a file. Counts the writes tried after
// the failure.
class FailingDevice final : public QIODevice {
public:
    explicit FailingDevice(qint64 capacity) : m_capacity(capacity)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    const QByteArray& written() const { return m_written; }
    bool hasFailed() const { return m_failed; }
    int writesAfterFailure() const { return m_writesAfterFailure; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (m_failed) {
            ++m_writesAfterFailure;
            return -1;
        }
        const qint64 room = m_capacity - m_written.size();
        if (size > room) {
            m_written.append(data, room);
            m_failed = true;
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        m_written.append(data, size);
        return size;
    }

private:
    qint64 m_capacity;
    QByteArray m_written;
    bool m_failed = false;
    int m_writesAfterFailure = 0;
};
