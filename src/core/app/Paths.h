#pragma once
#include <QString>
#include <QStringList>

// The folder of the table catalog (tbl.csv, tblstrc.csv) that goes with the running program:
// catalog/ beside it in the build tree, ../share/velkor/catalog when it is installed. When
// neither holds tbl.csv, the one beside the program (the loader then names the missing file).
QString programCatalogDir();

// The path of a file with links, "." and ".." resolved; of a file not there yet, its
// folder's resolved path and its name.
QString canonicalName(const QString& file);

// Whether `file` is one of `files`, under any spelling of their paths.
bool isOneOf(const QString& file, const QStringList& files);
