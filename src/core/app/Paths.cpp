#include "app/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

QString programCatalogDir() {
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString beside = bin.filePath(QStringLiteral("catalog"));
    const QString installed = QDir::cleanPath(bin.filePath(QStringLiteral("../share/velkor/catalog")));
    for (const QString& dir : {beside, installed})
        if (QFileInfo::exists(QDir(dir).filePath(QStringLiteral("tbl.csv")))) return dir;
    return beside;
}

QString canonicalName(const QString& file) {
    const QFileInfo fi(file);
    if (fi.exists()) return fi.canonicalFilePath();
    const QString folder = QFileInfo(fi.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QDir::cleanPath(fi.absoluteFilePath()) : folder + QLatin1Char('/') + fi.fileName();
}

bool isOneOf(const QString& file, const QStringList& files) {
    const QString target = canonicalName(file);
    return std::any_of(files.begin(), files.end(), [&](const QString& f) { return canonicalName(f) == target; });
}
