// The settings file "cini.txt" and the six settings edits.
#include <QFileInfo>
#include <QLineEdit>

#include "app/Texts.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "window/VelkorU.h"

namespace {
int settingsNumber(const QString& file, int line, const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (!ok) throw VelkorError(texts::lineError(file, line, texts::notInteger(text)));
    return v;
}
}  // namespace

void TVelkorF::uq01B(int id) {
    const QString file = path(QStringLiteral("cini.txt"));
    switch (id) {
    case 1: {
        if (!QFileInfo::exists(file)) { uq01B(3); return; }
        const QStringList lines = textfile::readLines(file);
        for (const Timeframe& t : timeframes()) {
            const int lineNo = t.index + 1;
            if (lines.size() <= t.index)
                throw VelkorError(texts::lineError(file, lineNo, texts::tooFewFields(0, 3)));
            const QStringList f = lines[t.index].split(QLatin1Char(','));
            if (f.size() < 3) throw VelkorError(texts::lineError(file, lineNo, texts::tooFewFields(f.size(), 3)));
            const int days = settingsNumber(file, lineNo, f[1]);
            const int passes = settingsNumber(file, lineNo, f[2]);
            (this->*t.rdLn) = {days, passes};
        }
        return;
    }
    case 2: {
        QStringList lines;
        for (const Timeframe& t : timeframes()) {
            const auto& v = (this->*t.rdLn);
            lines.append(t.ciniLabel + QLatin1Char(',') + QString::number(v[0]) + QLatin1Char(',') +
                         QString::number(v[1]));
        }
        textfile::writeLines(file, lines);
        return;
    }
    case 3:
        for (const Timeframe& t : timeframes()) (this->*t.rdLn) = {t.defaultReadDays, t.defaultPasses};
        uq01B(2);
        return;
    default:
        return;
    }
}

void TVelkorF::ucLnRd(int it) {
    for (const Timeframe& t : timeframes()) {
        const bool passes = it == t.editCodeLn;
        if (!passes && it != t.editCodeRd) continue;
        QLineEdit* edit = passes ? page(t.index).ln1E : page(t.index).rd1E;
        int& field = ((this->*t.rdLn))[passes ? 1 : 0];
        const int v = Cvs2i(edit->text());
        if (v != 0) {
            field = v;
            iRdLn = 1;
        } else {
            edit->setText(QString::number(field));
        }
        return;
    }
}
