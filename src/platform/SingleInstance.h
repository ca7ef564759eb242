#pragma once

#include <QObject>
#include <QStringList>

// One application process per library. The first process on a library owns
// a name on the session bus derived from the library's folder; a later one
// finds the name taken, hands its arguments to the owner and exits.
class SingleInstance final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vellumkeep.Folionest")

public:
    enum class Claim { owner, alreadyRunning, noBus };

    explicit SingleInstance(const QString& containerDirectory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The bus name for a library folder ("com.vellumkeep.Folionest.L" and a
    // hash of its canonical path).
    static QString serviceName(const QString& containerDirectory);

    // Tries to become the library's process. Without a session bus every
    // process runs on its own (there is nothing to ask).
    Claim claim();
    // Asks the owner to come forward with these arguments; false when it
    // could not be reached.
    bool activateOwner(const QStringList& arguments, QString* error = nullptr) const;

public Q_SLOTS:
    // Called over the bus by a later process.
    Q_SCRIPTABLE void Activate(const QStringList& arguments);

Q_SIGNALS:
    void activationRequested(const QStringList& arguments);

private:
    QString m_service;
    bool m_registered = false;
};
