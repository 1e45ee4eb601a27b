// The settings file "cini.txt" and the six settings edits.
#include <QFileInfo>
#include <QLineEdit>

#include "app/Texts.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "net/Scaling.h"
#include "window/VelkorU.h"

namespace {
int settingsNumber(const QString& file, int line, const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok) throw VelkorError(texts::lineError(file, line, texts::notInteger(text)));
    return v;
}
}  // namespace

void TVelkorF::loadSettings() {
    const QString file = path(QStringLiteral("cini.txt"));
    if (!QFileInfo::exists(file)) {
        writeDefaultSettings();
        return;
    }
    const QStringList lines = textfile::readLines(file);
    for (const Timeframe& t : timeframes()) {
        const int lineNo = t.index + 1;
        if (lines.size() <= t.index) throw VelkorError(texts::lineError(file, lineNo, texts::tooFewFields(0, 3)));
        const QStringList f = lines[t.index].split(QLatin1Char(','));
        if (f.size() < 3) throw VelkorError(texts::lineError(file, lineNo, texts::tooFewFields(f.size(), 3)));
        const int days = settingsNumber(file, lineNo, f[1]);
        const int passes = settingsNumber(file, lineNo, f[2]);
        settings[size_t(t.index)] = {days, passes};
    }
}

void TVelkorF::saveSettings() {
    QStringList lines;
    for (const Timeframe& t : timeframes()) {
        const TimeframeSettings& s = settings[size_t(t.index)];
        lines.append(t.ciniLabel + QLatin1Char(',') + QString::number(s.readDays) + QLatin1Char(',') +
                     QString::number(s.passes));
    }
    textfile::writeLines(path(QStringLiteral("cini.txt")), lines);
}

void TVelkorF::writeDefaultSettings() {
    for (const Timeframe& t : timeframes()) settings[size_t(t.index)] = {t.defaultReadDays, t.defaultPasses};
    saveSettings();
}

void TVelkorF::acceptSettingsEdit(const Timeframe& t, bool passes) {
    QLineEdit* edit = passes ? page(t).ln1E : page(t).rd1E;
    int& field = passes ? settings[size_t(t.index)].passes : settings[size_t(t.index)].readDays;
    const int v = textToInt(edit->text());
    if (v != 0) {
        field = v;
        settingsEdited = true;
    } else {
        edit->setText(QString::number(field));
    }
}
