#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

// Application-wide notifications between parts that hold no reference to
// each other: the clipboard intake posts what it found, the main window
// creates the item. A notification nobody listens to is lost.
class AppNotifications final : public QObject {
    Q_OBJECT

public:
    static AppNotifications& instance();

Q_SIGNALS:
    void createItemFromURL(const QUrl& url);
    void createItemFromImageData(const QByteArray& bytes);
    void processPendingItems();
    // A short confirmation the window shows for a moment ("Link Copied").
    void confirmation(const QString& text);
};
