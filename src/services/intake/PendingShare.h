#pragma once

#include "model/Result.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Sharing from this machine: what `folionest-cli share` and `folionest FILE…`
// leave in the queue folder for the application's intake. Every file is
// written under a hidden name and renamed into place, the entry last, so
// the intake never sees half of one; all of them are private (0600, in
// folders of 0700).
namespace PendingShare {

// One thing to share: a web address, or a file (a picture or any other).
struct Source {
    QUrl url;
    QString filePath; // absolute
    bool isPicture = false;
};

struct Options {
    std::optional<QString> title;
    std::optional<QString> note;
    std::optional<QString> type; // an item type's raw value
};

// An argument as a user gives it: an existing file (a path, or a file:
// URL), else a URL with a scheme. Relative paths are taken from
// `workingDirectory`.
Result<Source> sourceFor(const QString& argument, const QString& workingDirectory);

// Writes one entry (and its copy of the file) into the queue folder of the
// container, creating the folders it needs; returns the entry's file name.
// On failure nothing of it is left behind.
Result<QString> write(const QString& containerDirectory, const Source& source, const Options& options = {});

// Removes an entry written by `write` and its copy of the file, when the
// intake has not taken it yet (a command that fails half-way leaves nothing).
void remove(const QString& containerDirectory, const QString& entryName);

// The title an entry gets without --title: the host of a web address (or
// "Untitled"), a file's name without its last extension.
QString defaultTitle(const Source& source);

} // namespace PendingShare
