#pragma once
#include <QString>

// The folder of the table catalog (tbl.csv, tblstrc.csv) that goes with the running program:
// catalog/ beside it in the build tree, ../share/velkor/catalog when it is installed. When
// neither holds tbl.csv, the one beside the program (the loader then names the missing file).
QString programCatalogDir();
