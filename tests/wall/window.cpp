// Must not compile: the core library never reaches for the window.
#include "../../src/window/VelkorU.h"
