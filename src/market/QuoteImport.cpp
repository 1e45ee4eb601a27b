// Quote file import (placeholder until the import lands).
#include "ui/VelkorU.h"

void TVelkorF::uq01F(int) {}
QString& TVelkorF::ErPeriod(QString& st) { return st; }
void TVelkorF::uq01G() {}
QString TVelkorF::Find03Pr(int) { return {}; }
int TVelkorF::fqHLn(int, int) { return 0; }
