#pragma once
// Test support: the built programs, run as a user runs them.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct ProgramResult {
    int code;
    QString out, err;
};

inline ProgramResult runProgram(const QString& program, const QStringList& args,
                                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(240000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

inline const QString kVelkor = QStringLiteral(VELKOR_BINARY_DIR "/velkor");
inline const QString kSample = QStringLiteral(VELKOR_BINARY_DIR "/velkor-sample");
