#pragma once

#include "platform/Keychain.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFuture>
#include <QList>
#include <QMap>
#include <QPromise>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

// An in-memory keychain for the outcomes a real one cannot be made to
// produce. It adds like the classic keychain (an existing item is a
// duplicate), and can be told to answer any status per operation. Each call
// does its work at once; its answer comes on a later turn of the event loop,
// as a real keychain's does, or never (a keychain that hangs).
class FakeKeychain final : public KeychainBackend {
public:
    enum class Op { add, load, remove };
    enum class Answers { later, never };

    struct Stored {
        QByteArray data;
        KeychainProtection protection;
    };

    // State shared with the test after the backend moved into a service.
    struct State {
        QMap<std::pair<QString, QString>, Stored> items;
        QMap<std::pair<Op, QString>, int> forced; // (operation, account) -> status; "" is any account
        QList<std::pair<Op, QString>> calls;
        bool userPresence = false;
        // Runs after a successful remove, before the next add (another process racing).
        std::function<void()> betweenRemoveAndAdd;
        Answers answers = Answers::later;
        // The answers kept back while answers is never; calling one delivers it.
        QList<std::function<void()>> heldAnswers;
    };

    explicit FakeKeychain(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    QFuture<int> add(const QString& service, const QString& account, const QByteArray& data,
                     KeychainProtection protection) override
    {
        return reply(addNow(service, account, data, protection));
    }

    QFuture<KeychainLoadResult> load(const QString& service, const QString& account) override
    {
        return reply(loadNow(service, account));
    }

    QFuture<int> remove(const QString& service, const QString& account) override
    {
        return reply(removeNow(service, account));
    }

    bool supportsUserPresence() const override { return m_state->userPresence; }

private:
    int addNow(const QString& service, const QString& account, const QByteArray& data, KeychainProtection protection)
    {
        m_state->calls.append({Op::add, account});
        if (auto forced = forcedStatus(Op::add, account))
            return *forced;
        if (protection == KeychainProtection::userPresence && !m_state->userPresence)
            return KeychainStatus::notAvailable;
        const auto id = std::make_pair(service, account);
        if (m_state->items.contains(id))
            return KeychainStatus::duplicateItem;
        m_state->items.insert(id, {data, protection});
        return KeychainStatus::success;
    }

    KeychainLoadResult loadNow(const QString& service, const QString& account)
    {
        m_state->calls.append({Op::load, account});
        if (auto forced = forcedStatus(Op::load, account))
            return {*forced, {}};
        const auto it = m_state->items.constFind(std::make_pair(service, account));
        if (it == m_state->items.constEnd())
            return {KeychainStatus::itemNotFound, {}};
        return {KeychainStatus::success, it->data};
    }

    int removeNow(const QString& service, const QString& account)
    {
        m_state->calls.append({Op::remove, account});
        if (auto forced = forcedStatus(Op::remove, account))
            return *forced;
        const bool removed = m_state->items.remove(std::make_pair(service, account)) > 0;
        if (m_state->betweenRemoveAndAdd)
            std::exchange(m_state->betweenRemoveAndAdd, {})();
        return removed ? KeychainStatus::success : KeychainStatus::itemNotFound;
    }

    template <typename T>
    QFuture<T> reply(T answer)
    {
        auto promise = std::make_shared<QPromise<T>>();
        promise->start();
        QFuture<T> future = promise->future();
        auto deliver = [promise, answer] {
            promise->addResult(answer);
            promise->finish();
        };
        if (m_state->answers == Answers::never)
            m_state->heldAnswers.append(deliver);
        else
            QMetaObject::invokeMethod(QCoreApplication::instance(), deliver, Qt::QueuedConnection);
        return future;
    }

    std::optional<int> forcedStatus(Op op, const QString& account) const
    {
        if (auto it = m_state->forced.constFind({op, account}); it != m_state->forced.constEnd())
            return *it;
        if (auto it = m_state->forced.constFind({op, QString()}); it != m_state->forced.constEnd())
            return *it;
        return std::nullopt;
    }

    std::shared_ptr<State> m_state;
};
