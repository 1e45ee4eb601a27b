// Start-up sequence, page refresh, data folder, close and destroy.
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTabWidget>
#include <QCoreApplication>

#include "app/Texts.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "net/TarselFann.h"
#include "window/VelkorU.h"
#include "ui_VelkorU.h"

void TVelkorF::FormActivate() {
    if (startupMarker_ != texts::startupMarker || starting_) return;
    starting_ = true;
    struct Done { bool& f; ~Done() { f = false; } } done{starting_};
    try {
        guarded([&] {
            // The files of the working directory need DATA/CSV (and so DATA).
            if (!QDir(workDir_).mkpath(QStringLiteral("DATA/CSV")))
                throw VelkorError(texts::fileWriteError(path(QStringLiteral("DATA/CSV")), QString()));
            uqCdb();
            ucIni();
            iRdLn = 0;
            scfn = path(QStringLiteral("config.txt"));
            if (QFileInfo::exists(scfn)) uq01C(1);
            else uq01C(3);
            startupMarker_.clear();
            ui->pc->setCurrentIndex(0);
            uq01C(4);
            ui->a12ysB->setFocus();
        });
    } catch (const StartupAborted& e) {
        aborted_ = true;
        dialogs_->error(e.missing.isEmpty() ? texts::noDataFolder() : texts::noQuoteFileInFolder(e.missing));
        if (isVisible()) {
            close();
            QCoreApplication::exit(2);
        }
    }
}

void TVelkorF::ucIni() {
    uq01B(1);
    uq03K05(5);
    uq03K30(5);
    uq03K4H(5);
    ui->d12ms2L->clear();
    uq03SG(1);
    swh.clear();
    uq04CV(1);
    uq01D(1);
}

QString TVelkorF::dataFolder(QString line) const {
    line = line.trimmed();
    line.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QDir::isRelativePath(line)) line = path(line);
    if (!line.endsWith(QLatin1Char('/'))) line += QLatin1Char('/');
    return line;
}

void TVelkorF::uq01C(int id) {
    if (id == 4) {
        // A timeframe is forecast only from a table this start-up imported and built whole.
        for (const Timeframe& t : timeframes()) importFailed_[size_t(t.index)] = true;
        for (const Timeframe& t : timeframes()) {
            iasi = t.code;
            uq01F(2);
            uq01G();
            importFailed_[size_t(t.index)] = false;
        }
        return;
    }
    if (id < 1 || id > 3) return;
    // Loops until "config.txt" names a folder that holds the 30-minute quote file.
    bool ask = id != 1;
    QString lacking;  // the 30-minute file the folder last named lacks
    for (;;) {
        if (!ask) {
            susj.clear();
            if (QFileInfo::exists(scfn)) {
                const QStringList lines = textfile::readLines(scfn);
                if (!lines.isEmpty() && !lines.first().trimmed().isEmpty()) {
                    const QString folder = dataFolder(lines.first());
                    susj = folder + QStringLiteral("USDJPYM30.CSV");
                    if (QFileInfo::exists(susj)) return;
                    lacking = susj;
                }
                susj.clear();
            }
        }
        const QString picked = dialogs_->openFile();
        if (picked.isEmpty()) {
            StartupAborted e;
            e.missing = lacking;
            throw e;
        }
        const QString folder = dataFolder(QFileInfo(picked).absolutePath());
        susj = folder + QStringLiteral("USDJPYM30.CSV");
        textfile::writeLines(scfn, {folder});
        ask = false;
    }
}

void TVelkorF::FormClose() {
    if (iRdLn == 1) uq01B(2);
}

void TVelkorF::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    TarselFann.reset();
}
