// Must not compile: the core library never uses Qt Widgets.
#include <QtWidgets/QLabel>
