#pragma once

#include <QDBusConnection>
#include <QUrl>

// Shows a file in the desktop's file manager with the file selected.
//
// Asks the file manager over the session bus (org.freedesktop.FileManager1,
// ShowItems), which Nautilus, Dolphin, Nemo, Caja, Thunar and others answer
// or are started for. When none answers, opens the folder that holds the
// file with the desktop's default handler instead, so the user at least
// lands next to it. Call on the main thread.
namespace FileManager {

enum class RevealOutcome {
    shownInFileManager, // the file manager accepted the request
    openedFolder,       // no file manager answered; the containing folder was opened
    failed,             // not a local file URL, or nothing could be opened
};

// How long a file manager may take to answer, including being started.
inline constexpr int kRevealTimeoutMs = 5000;

RevealOutcome reveal(const QUrl& fileUrl);
// The same over a given bus connection (tests use a private one).
RevealOutcome reveal(const QUrl& fileUrl, const QDBusConnection& bus);

} // namespace FileManager
