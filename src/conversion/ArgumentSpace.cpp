#include "ArgumentSpace.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
extern char** environ;
#endif

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

// The characters an argument takes in a Windows command line as QProcess writes it: a quote
// gets a backslash and the backslashes before it are doubled; an empty argument or one with a
// blank is enclosed in quotes; one blank goes before it.
qint64 WindowsArgumentLength(const QString& argument) {
    qint64 length = 1 + argument.size();
    qsizetype backslashes = 0;
    bool blank = argument.isEmpty();
    for (const QChar c : argument) {
        if (c == QLatin1Char('"'))
            length += 1 + backslashes;
        backslashes = c == QLatin1Char('\\') ? backslashes + 1 : 0;
        blank = blank || c == QLatin1Char(' ') || c == QLatin1Char('\t');
    }
    return blank ? length + 2 : length;
}

qint64 WindowsCommandLineLength(const QString& program, const QStringList& arguments) {
    // The program comes first, quoted when it holds a blank, followed by a blank of its own.
    const bool quoted = program.contains(QLatin1Char(' ')) &&
                        !program.startsWith(QLatin1Char('"')) &&
                        !program.endsWith(QLatin1Char('"'));
    qint64 length = program.size() + (quoted ? 2 : 0) + 1;
    for (const QString& argument : arguments)
        length += WindowsArgumentLength(argument);
    return length;
}

} // namespace

bool ArgumentsFit(const QString& program, const QStringList& arguments,
                  const ArgumentSpace& space) {
    if (space.rule == ArgumentRule::Windows)
        return WindowsCommandLineLength(program, arguments) + 1 <= space.total;

    qint64 used = space.environment;
    const auto add = [&](const QString& text) {
        const qint64 bytes = QFile::encodeName(text).size() + 1;
        used += bytes + space.pointerSize;
        return bytes <= space.perString;
    };
    if (!add(program))
        return false;
    // The path is copied once more for the new program's own use, without a pointer.
    used += QFile::encodeName(program).size() + 1;
    for (const QString& argument : arguments) {
        if (!add(argument))
            return false;
    }
    return used <= space.total;
}

ArgumentSpace PlatformArgumentSpace() {
    ArgumentSpace space;
#ifdef Q_OS_WIN
    space.rule = ArgumentRule::Windows;
    space.total = 32767;
#else
    space.rule = ArgumentRule::Unix;
    space.pointerSize = sizeof(char*);
    // A quarter of the stack limit; Linux also never gives more than three quarters of its
    // default 8 MiB stack, whatever the limit says.
    const long reported = sysconf(_SC_ARG_MAX);
    space.total = std::min<qint64>(reported > 0 ? reported : 128 * 1024, 6 * 1024 * 1024);
    space.perString = 32 * 4096; // Linux's MAX_ARG_STRLEN
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        space.environment += qint64(std::strlen(*entry)) + 1 + space.pointerSize;
#endif
    return space;
}

} // namespace korvane
