#pragma once

#include <QObject>
#include <QString>

// The desktop-wide wake-up that tells the application that other programs
// left pending items: the session-bus signal "newItems" of the interface
// "com.vellumkeep". It carries nothing; whoever hears it looks at the queue.
class NewItemsSignal final : public QObject {
    Q_OBJECT

public:
    static constexpr char kInterface[] = "com.vellumkeep";
    static constexpr char kMember[] = "newItems";
    static constexpr char kPath[] = "/com/vellumkeep";

    explicit NewItemsSignal(QObject* parent = nullptr);
    ~NewItemsSignal() override;

    // Starts listening, from any sender on any path; false without a session
    // bus (then nothing is ever heard). Listening twice changes nothing.
    bool subscribe();
    bool isSubscribed() const { return m_subscribed; }

    // Sends the signal once; false (and why) without a session bus.
    static bool send(QString* error = nullptr);

Q_SIGNALS:
    // Once per signal heard, on the thread this object lives in.
    void received();

private Q_SLOTS:
    void onNewItems();

private:
    bool m_subscribed = false;
};
