#pragma once
// Page "4:学図" after a forecast run: the learning curve of the run and a drawing of the
// trained network for the dark page.
#include <QImage>
#include <QSize>
#include <QStringList>

#include "net/NeuralNetwork.h"

// The network drawn for the dark page, `size` pixels large: the layers side by side from the
// inputs (left) to the outputs (right), every connection orange for a positive weight and blue
// for a negative one, the wider and the more opaque the larger the weight is against the
// largest; bias neurons as grey squares. The input neurons carry the names of `inputs`, the
// output neurons those of `outputs` (each used when it has one name per neuron), and a legend
// below explains the colours. A shape without layers gives the empty background.
QImage drawNetworkPicture(const NeuralNetwork::Shape& shape, QSize size, const QStringList& inputs,
                          const QStringList& outputs);
