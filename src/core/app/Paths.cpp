#include "app/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString programCatalogDir() {
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString beside = bin.filePath(QStringLiteral("catalog"));
    const QString installed = QDir::cleanPath(bin.filePath(QStringLiteral("../share/velkor/catalog")));
    for (const QString& dir : {beside, installed})
        if (QFileInfo::exists(QDir(dir).filePath(QStringLiteral("tbl.csv")))) return dir;
    return beside;
}
