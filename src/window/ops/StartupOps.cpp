// Start-up sequence, page refresh, data folder, close and destroy.
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTabWidget>
#include <QCoreApplication>
#include <QScopeGuard>

#include "app/Texts.h"
#include "app/TextFile.h"
#include "app/Timeframe.h"
#include "app/VelkorError.h"
#include "net/NeuralNetwork.h"
#include "window/VelkorU.h"
#include "ui_VelkorU.h"

void TVelkorF::startUp() {
    if (startupMarker_ != texts::startupMarker || starting_) return;
    starting_ = true;
    const auto done = qScopeGuard([this] { starting_ = false; });
    try {
        guarded([&] {
            // The files of the working directory need DATA/CSV (and so DATA).
            if (!QDir(workDir_).mkpath(QStringLiteral("DATA/CSV")))
                throw VelkorError(texts::fileWriteError(path(QStringLiteral("DATA/CSV")), QString()));
            openDatabases();
            resetWindow();
            settingsEdited = false;
            settleDataFolder(!QFileInfo::exists(configFile()));
            startupMarker_.clear();
            ui->pc->setCurrentIndex(0);
            importAll();
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

void TVelkorF::resetWindow() {
    loadSettings();
    for (const Timeframe& t : timeframes()) resetPage(t);
    ui->d12ms2L->clear();
    layoutStats();
    openExportCatalog();
    browseTrainingTable(timeframes()[0]);
}

QString TVelkorF::dataFolder(QString line) const {
    line = line.trimmed();
    line.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QDir::isRelativePath(line)) line = path(line);
    if (!line.endsWith(QLatin1Char('/'))) line += QLatin1Char('/');
    return line;
}

QString TVelkorF::configFile() const { return path(QStringLiteral("config.txt")); }

QString TVelkorF::configuredDataFolder() const {
    const QStringList config = textfile::readLines(configFile());
    return dataFolder(config.isEmpty() ? QString() : config.first());
}

void TVelkorF::importAll() {
    // Each timeframe on its own: one that fails is shown and not forecast, the others go on.
    for (const Timeframe& t : timeframes()) {
        importFailed_[size_t(t.index)] = true;
        importFailed_[size_t(t.index)] = !guarded([&] {
            const market::QuoteImport imported = importQuotes(t);
            buildTrainingTable(t, imported);
        });
    }
}

QString TVelkorF::settleDataFolder(bool askFirst) {
    const QString config = configFile();
    bool ask = askFirst;
    QString lacking;  // the 30-minute file the folder last named lacks
    for (;;) {
        if (!ask && QFileInfo::exists(config)) {
            const QStringList lines = textfile::readLines(config);
            if (!lines.isEmpty() && !lines.first().trimmed().isEmpty()) {
                const QString file = dataFolder(lines.first()) + QStringLiteral("USDJPYM30.CSV");
                if (QFileInfo::exists(file)) return file;
                lacking = file;
            }
        }
        QString picked;
        if (!dataDirAnswer_.isEmpty()) picked = QDir(std::exchange(dataDirAnswer_, QString())).filePath(QStringLiteral("USDJPYM30.CSV"));
        else picked = dialogs_->openFile();
        if (picked.isEmpty()) {
            StartupAborted e;
            e.missing = lacking;
            throw e;
        }
        textfile::writeLines(config, {dataFolder(QFileInfo(picked).absolutePath())});
        ask = false;
    }
}

void TVelkorF::closeDown() {
    if (settingsEdited) saveSettings();
}

void TVelkorF::releaseNetwork() {
    if (destroyed_) return;
    destroyed_ = true;
    runningNetwork.reset();
}
