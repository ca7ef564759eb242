#pragma once

#include <QString>

namespace Cli {

// How a command reads a passphrase: from the terminal with echo off (asking
// twice with confirm), or with --passphrase-stdin from all of standard input
// less exactly one trailing newline. Never from the command line, where
// other users and the shell history would see it. Input that is not UTF-8
// is refused. Throws Failed.
enum class PassphraseSource { terminal, standardInput };
QString readPassphrase(PassphraseSource source, bool confirm);

// User-perceived characters (grapheme clusters).
qsizetype passphraseLength(const QString& passphrase);

} // namespace Cli
