// The network drawing of page "4:学図": the sign of a weight by colour, its size by strength.
#include <QColor>
#include <QImage>
#include <gtest/gtest.h>

#include "window/TrainingPage.h"

namespace {

// How strongly the network (the picture above its legend, which shows both colours fully)
// shows each colour at its strongest pixel: 0 is the background, 1 the colour laid on fully.
struct Strongest {
    double warm = 0, cool = 0;
};

Strongest strongest(const QImage& picture) {
    const QImage img = picture.copy(0, 0, picture.width(), picture.height() * 3 / 4);
    const QColor bg(0x1e, 0x1e, 0x20), warm(0xff, 0x9a, 0x3c), cool(0x4c, 0xa8, 0xff);
    Strongest s;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > c.blue() + 40 && c.green() < c.red() - 40)
                s.warm = std::max(s.warm, double(c.red() - bg.red()) / (warm.red() - bg.red()));
            if (c.blue() > c.red() + 40)
                s.cool = std::max(s.cool, double(c.blue() - bg.blue()) / (cool.blue() - bg.blue()));
        }
    return s;
}

NeuralNetwork::Shape twoToOne(float first, float second) {
    NeuralNetwork::Shape s;
    s.layers = {2, 1};
    s.biases = {0, 0};
    s.connections = {{0, 2, first}, {1, 2, second}};
    return s;
}

}  // namespace

TEST(NetworkPicture, SignByColourSizeByStrength) {
    const QStringList in{"A", "B"}, out{"終値"};
    // A strong positive and a weak negative weight: both colours, the positive one laid on far
    // more strongly.
    const Strongest mixed = strongest(drawNetworkPicture(twoToOne(4.0f, -0.4f), QSize(300, 200), in, out));
    EXPECT_GT(mixed.warm, 0.8);
    EXPECT_GT(mixed.cool, 0.05);
    EXPECT_LT(mixed.cool, 0.6);
    // Signs swapped: the colours swap.
    const Strongest swapped = strongest(drawNetworkPicture(twoToOne(-4.0f, 0.4f), QSize(300, 200), in, out));
    EXPECT_GT(swapped.cool, 0.8);
    EXPECT_LT(swapped.warm, 0.6);
    // Only negative weights: no positive colour anywhere.
    const QImage negative = drawNetworkPicture(twoToOne(-1.0f, -2.0f), QSize(300, 200), in, out);
    EXPECT_EQ(strongest(negative).warm, 0.0);
    // The picture has the size asked for; a shape without layers gives the bare background.
    EXPECT_EQ(negative.size(), QSize(300, 200));
    const QImage empty = drawNetworkPicture(NeuralNetwork::Shape{}, QSize(50, 40), in, out);
    EXPECT_EQ(empty.pixelColor(25, 20), QColor(0x1e, 0x1e, 0x20));
}
