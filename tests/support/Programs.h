#pragma once
// Test support: the built programs, run as a user runs them.
#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <cstring>

#include "window/QtDialogs.h"

struct ProgramResult {
    int code;
    QString out, err;
};

// Runs a program to its end; one still running after `waitMs` is killed and gives the code -1.
inline ProgramResult runProgram(const QString& program, const QStringList& args,
                                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                                int waitMs = 240000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool ended = p.waitForFinished(waitMs);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    return {ended ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

inline const QString kVelkor = QStringLiteral(VELKOR_BINARY_DIR "/velkor");
inline const QString kSample = QStringLiteral(VELKOR_BINARY_DIR "/velkor-sample");

// The environment of a program run on a disk that is full for the files whose paths hold one
// of `names` (a preloaded library of the tests: every write and sync of such a file fails
// with ENOSPC).
inline QProcessEnvironment fullDiskEnvironment(const QStringList& names) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VELKOR_FULL_DISK_LIBRARY));
    env.insert(QStringLiteral("VELKOR_FULL_DISK"), names.join(QLatin1Char(':')));
    // A sanitized program takes the library before the sanitizer's runtime.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    return env;
}

// Whether `text` tells a full disk: in the system's wording, or in Qt's own, which the program
// shows in Japanese.
inline bool tellsDiskFull(const QString& text) {
    loadQtJapanese();
    return text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))) ||
           text.contains(QCoreApplication::translate("QIODevice", "No space left on device"));
}
