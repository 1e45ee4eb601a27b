#include "app/VelkorState.h"

#include "net/NeuralNetwork.h"

VelkorState::VelkorState() = default;
VelkorState::~VelkorState() = default;
