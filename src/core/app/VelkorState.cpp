#include "app/VelkorState.h"

#include "net/TarselFann.h"

VelkorState::VelkorState() = default;
VelkorState::~VelkorState() = default;
