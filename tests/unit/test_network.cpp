#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "app/Texts.h"
#include "app/VelkorError.h"
#include "net/NeuralNetwork.h"

namespace {

const std::vector<unsigned> forecastLayers{14, 14, 14, 3};

// A few XOR-like patterns for a 2-input, 1-output network.
const std::array<std::array<float, 2>, 4> xorIn{{{0, 0}, {0, 1}, {1, 0}, {1, 1}}};
const std::array<std::array<float, 1>, 4> xorOut{{{0}, {1}, {1}, {0}}};

void trainXor(NeuralNetwork& net, int passes) {
    for (int p = 0; p < passes; ++p)
        for (std::size_t i = 0; i < xorIn.size(); ++i) net.Train(xorIn[i], xorOut[i]);
}

std::vector<float> runAll(NeuralNetwork& net) {
    std::vector<float> out;
    for (const auto& in : xorIn) {
        float o = 0;
        net.Run(in, std::span<float>(&o, 1));
        out.push_back(o);
    }
    return out;
}

std::vector<float> weights(const NeuralNetwork& net) {
    std::vector<float> w;
    for (const fann_connection& c : net.GetConnectionArray()) w.push_back(c.weight);
    return w;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace

TEST(NeuralNetwork, LayeredConstructorSetsTheTrainingDefaultsOnTheNetwork) {
    const unsigned fullyConnected = 15 * 14 + 15 * 14 + 15 * 3;
    struct Case {
        float rate;
        bool sparse;
    };
    for (const Case c : {Case{1.0f, false}, Case{2.0f, false},
                         Case{std::numeric_limits<float>::quiet_NaN(), false}, Case{0.5f, true}}) {
        SCOPED_TRACE(c.rate);
        NeuralNetwork net(forecastLayers, c.rate);
        fann* ann = net.handle();

        EXPECT_EQ(net.GetLayerArray(), forecastLayers);
        EXPECT_EQ(net.GetBiasArray(), (std::vector<unsigned>{1, 1, 1, 0}));
        if (c.sparse) {
            EXPECT_LT(net.GetTotalConnections(), fullyConnected);
            EXPECT_FLOAT_EQ(fann_get_connection_rate(ann), 0.5f);
        } else {
            EXPECT_EQ(net.GetTotalConnections(), fullyConnected);
            EXPECT_EQ(fann_get_connection_rate(ann), 1.0f);
        }

        EXPECT_EQ(fann_get_learning_rate(ann), 0.7f);
        EXPECT_EQ(fann_get_learning_momentum(ann), 0.0f);
        EXPECT_EQ(net.GetTrainingAlgorithm(), unsigned(FANN_TRAIN_RPROP));
        for (int layer = 1; layer <= 3; ++layer)
            for (int neuron = 0; neuron < int(forecastLayers[layer]); ++neuron) {
                EXPECT_EQ(fann_get_activation_function(ann, layer, neuron), FANN_SIGMOID);
                EXPECT_EQ(fann_get_activation_steepness(ann, layer, neuron), 0.5f);
            }

        // Randomized over [-0.5, 0.5], not left in FANN's own creation range of +-0.1.
        const std::vector<float> w = weights(net);
        EXPECT_TRUE(std::all_of(w.begin(), w.end(), [](float x) { return std::fabs(x) <= 0.5f; }));
        EXPECT_TRUE(std::any_of(w.begin(), w.end(), [](float x) { return std::fabs(x) > 0.1f; }));

        EXPECT_EQ(net.GetMSE(), 0.0f);
        EXPECT_EQ(net.LearningRate(), 0.7f);
        EXPECT_EQ(net.LearningMomentum(), 0.0f);
        EXPECT_EQ(net.ActivationFunctionHidden(), FANN_SIGMOID);
        EXPECT_EQ(net.ActivationFunctionOutput(), FANN_SIGMOID);
        EXPECT_EQ(net.TrainingAlgorithm(), FANN_TRAIN_RPROP);
    }
}

TEST(NeuralNetwork, RefusesLayoutsItCannotBuild) {
    for (const std::vector<unsigned>& layers :
         {std::vector<unsigned>{}, std::vector<unsigned>{14}}) {
        try {
            NeuralNetwork net(layers, 1.0f);
            ADD_FAILURE() << "built a network of " << layers.size() << " layers";
        } catch (const VelkorError& e) {
            EXPECT_EQ(e.text(), texts::twoLayers);
        }
    }
    // A layer without neurons crashes FANN; a layout beyond its unsigned counters corrupts memory.
    for (const std::vector<unsigned>& layers :
         {std::vector<unsigned>{2, 0, 1}, std::vector<unsigned>{2, 0}, std::vector<unsigned>{0, 1},
          std::vector<unsigned>{100000, 100000, 1}})
        for (float rate : {1.0f, 0.5f}) EXPECT_THROW((NeuralNetwork{layers, rate}), VelkorError);
}

TEST(NeuralNetwork, SettersReachTheNetworkAndThePropertiesMirrorThem) {
    NeuralNetwork net(std::vector<unsigned>{2, 3, 1}, 1.0f, 1u);
    net.SetLearningRate(0.25f);
    net.SetLearningMomentum(0.5f);
    net.SetActivationFunctionHidden(FANN_SIGMOID_SYMMETRIC);
    net.SetActivationFunctionOutput(FANN_LINEAR);
    net.SetTrainingAlgorithm(FANN_TRAIN_QUICKPROP);
    fann* ann = net.handle();
    EXPECT_EQ(fann_get_learning_rate(ann), 0.25f);
    EXPECT_EQ(fann_get_learning_momentum(ann), 0.5f);
    EXPECT_EQ(fann_get_activation_function(ann, 1, 0), FANN_SIGMOID_SYMMETRIC);
    EXPECT_EQ(fann_get_activation_function(ann, 2, 0), FANN_LINEAR);
    EXPECT_EQ(net.GetTrainingAlgorithm(), unsigned(FANN_TRAIN_QUICKPROP));
    EXPECT_EQ(net.LearningRate(), 0.25f);
    EXPECT_EQ(net.LearningMomentum(), 0.5f);
    EXPECT_EQ(net.ActivationFunctionHidden(), FANN_SIGMOID_SYMMETRIC);
    EXPECT_EQ(net.ActivationFunctionOutput(), FANN_LINEAR);
    EXPECT_EQ(net.TrainingAlgorithm(), FANN_TRAIN_QUICKPROP);
}

TEST(NeuralNetwork, MseAccumulatesOverTrainingOnlyUntilReset) {
    NeuralNetwork net(std::vector<unsigned>{2, 3, 1}, 1.0f, 7u);
    EXPECT_EQ(net.GetMSE(), 0.0f);
    trainXor(net, 3);
    const float afterTraining = net.GetMSE();
    EXPECT_GT(afterTraining, 0.0f);
    runAll(net);
    EXPECT_EQ(net.GetMSE(), afterTraining);
    net.Train(xorIn[1].data(), xorOut[1].data());  // the unchecked path counts as well
    EXPECT_NE(net.GetMSE(), afterTraining);
    net.ResetMse();
    EXPECT_EQ(net.GetMSE(), 0.0f);
}

TEST(NeuralNetwork, RunCopiesOnlyAsManyOutputsAsAsked) {
    NeuralNetwork net(std::vector<unsigned>{2, 4, 3}, 1.0f, 3u);
    const std::array<float, 2> in{0.3f, 0.8f};
    std::array<float, 3> all{};
    net.Run(in, all);

    std::array<float, 3> two{-7.0f, -7.0f, -7.0f};
    net.Run(in, std::span<float>(two.data(), 2));
    EXPECT_EQ(two[0], all[0]);
    EXPECT_EQ(two[1], all[1]);
    EXPECT_EQ(two[2], -7.0f);

    EXPECT_NO_THROW(net.Run(in, std::span<float>()));
}

TEST(NeuralNetwork, WrongSizedPatternsAreRefusedBeforeFannSeesThem) {
    NeuralNetwork net(std::vector<unsigned>{2, 3, 3}, 1.0f, 5u);
    const std::vector<float> two{0.1f, 0.2f}, one{0.1f}, three{0.1f, 0.2f, 0.3f}, none;
    std::vector<float> out3(3), out4(4);
    const std::vector<std::function<void()>> calls{
        [&] { net.Train(none, three); },  [&] { net.Train(two, none); },
        [&] { net.Train(one, three); },   [&] { net.Train(two, two); },
        [&] { net.Run(none, out3); },     [&] { net.Run(one, out3); },
        [&] { net.Run(three, out3); },    [&] { net.Run(two, out4); },
    };
    const std::vector<float> before = weights(net);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_THROW(calls[i](), VelkorError);
    }
    EXPECT_EQ(net.GetMSE(), 0.0f);
    EXPECT_TRUE(sameBits(weights(net), before));
}

TEST(NeuralNetwork, SameSeedGivesBitIdenticalNetworksAndTraining) {
    const std::vector<unsigned> layers{2, 5, 1};
    NeuralNetwork a(layers, 1.0f, 42u), b(layers, 1.0f, 42u), c(layers, 1.0f, 43u);
    EXPECT_TRUE(sameBits(weights(a), weights(b)));
    EXPECT_FALSE(sameBits(weights(a), weights(c)));

    trainXor(a, 200);
    trainXor(b, 200);
    EXPECT_TRUE(sameBits(weights(a), weights(b)));
    EXPECT_TRUE(sameBits(runAll(a), runAll(b)));
    EXPECT_EQ(a.GetMSE(), b.GetMSE());
}

TEST(NeuralNetwork, SavedNetworkLoadsBackWithTheSameResults) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("ネット USDJPY05.net"));

    NeuralNetwork saved(std::vector<unsigned>{2, 4, 1}, 1.0f, 11u);
    trainXor(saved, 50);
    ASSERT_TRUE(saved.SaveToFile(file));
    const std::vector<float> expected = runAll(saved);

    NeuralNetwork loaded(file);
    EXPECT_TRUE(sameBits(runAll(loaded), expected));
    EXPECT_EQ(loaded.LearningRate(), 0.0f);  // the file constructor sets no defaults
    EXPECT_EQ(loaded.TrainingAlgorithm(), FANN_TRAIN_INCREMENTAL);

    NeuralNetwork other(std::vector<unsigned>{2, 4, 1}, 1.0f, 12u);
    ASSERT_TRUE(other.LoadFromFile(file));
    EXPECT_TRUE(sameBits(runAll(other), expected));
}

TEST(NeuralNetwork, FailedSaveOrLoadIsReportedAndLosesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing.net"));
    const QString garbage = dir.filePath(QStringLiteral("garbage.net"));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a network\n1 2 3\n");
    }

    NeuralNetwork net(std::vector<unsigned>{2, 3, 1}, 1.0f, 9u);
    const std::vector<float> before = runAll(net);
    EXPECT_FALSE(net.SaveToFile(dir.filePath(QStringLiteral("no such folder/x.net"))));
    EXPECT_FALSE(net.LoadFromFile(missing));
    EXPECT_FALSE(net.LoadFromFile(garbage));
    EXPECT_TRUE(sameBits(runAll(net), before));

    try {
        NeuralNetwork fromMissing(missing);
        ADD_FAILURE() << "loaded a missing file";
    } catch (const VelkorError& e) {
        EXPECT_TRUE(e.text().contains(missing)) << e.text().toStdString();
    }
}

TEST(NeuralNetwork, MovedFromWrapperHoldsNothingAndRefusesWork) {
    NeuralNetwork a(std::vector<unsigned>{2, 3, 1}, 1.0f, 1u);
    fann* ann = a.handle();
    NeuralNetwork b(std::move(a));
    EXPECT_EQ(b.handle(), ann);
    EXPECT_EQ(a.handle(), nullptr);  // NOLINT(bugprone-use-after-move): the state under test
    EXPECT_THROW(a.GetMSE(), VelkorError);
    EXPECT_THROW(a.Run(std::vector<float>{0, 0}, std::span<float>()), VelkorError);
    EXPECT_THROW(a.SaveToFile(QStringLiteral("x.net")), VelkorError);

    NeuralNetwork c(std::vector<unsigned>{2, 1}, 1.0f, 2u);
    c = std::move(b);  // releases c's own network; b is left empty
    EXPECT_EQ(c.handle(), ann);
    EXPECT_EQ(b.handle(), nullptr);  // NOLINT(bugprone-use-after-move)
}  // destroying the empty a and b releases nothing

TEST(NeuralNetwork, TrainOnFileTrainsAndNamesAFileItCannotUse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString data = dir.filePath(QStringLiteral("xor.data"));
    {
        QFile f(data);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("4 2 1\n0 0\n0\n0 1\n1\n1 0\n1\n1 1\n0\n");
    }
    NeuralNetwork net(std::vector<unsigned>{2, 3, 1}, 1.0f, 4u);
    const std::vector<float> before = weights(net);
    net.TrainOnFile(data, 10, 0.0f);
    EXPECT_FALSE(sameBits(weights(net), before));

    const QString missing = dir.filePath(QStringLiteral("missing.data"));
    try {
        net.TrainOnFile(missing, 10, 0.0f);
        ADD_FAILURE() << "trained on a missing file";
    } catch (const VelkorError& e) {
        EXPECT_TRUE(e.text().contains(missing)) << e.text().toStdString();
    }
    NeuralNetwork threeInputs(std::vector<unsigned>{3, 1}, 1.0f, 4u);
    EXPECT_THROW(threeInputs.TrainOnFile(data, 10, 0.0f), VelkorError);
}

namespace {

const QRgb white = qRgb(255, 255, 255);
const QRgb black = qRgb(0, 0, 0);
const QRgb red = qRgb(255, 0, 0);
const QRgb blue = qRgb(0, 0, 255);
const QRgb orange = qRgb(255, 153, 0);

// Layers 2, 1: neurons 0 and 1 (inputs), 2 (bias), 3 (output). The connection 0 -> 3 runs
// straight down at x = 50; the others cross the row y = 100 at x = 100 and x = 150.
NeuralNetwork smallNet(float verticalWeight) {
    NeuralNetwork net(std::vector<unsigned>{2, 1}, 1.0f, 6u);
    fann_set_weight(net.handle(), 0, 3, verticalWeight);
    fann_set_weight(net.handle(), 1, 3, 0.3f);
    fann_set_weight(net.handle(), 2, 3, -0.2f);
    return net;
}

}  // namespace

TEST(NeuralNetwork, DiagramShowsNeuronsOnTheGridAndWeightsAsLines) {
    struct Case {
        float weight;
        QRgb colour;
        int width;
    };
    for (const Case c : {Case{2.7f, black, 2}, Case{-2.7f, red, 2}, Case{1.0f, black, 1},
                         Case{0.4f, red, 1}, Case{-0.4f, red, 1}}) {
        SCOPED_TRACE(c.weight);
        const NeuralNetwork net = smallNet(c.weight);
        QImage bmp;
        net.CreateNeuronBmp(bmp);
        ASSERT_EQ(bmp.size(), QSize(300, 200));
        EXPECT_EQ(bmp.format(), QImage::Format_RGB32);

        EXPECT_EQ(bmp.pixel(50, 50), blue);
        EXPECT_EQ(bmp.pixel(150, 50), blue);
        EXPECT_EQ(bmp.pixel(250, 50), orange);
        EXPECT_EQ(bmp.pixel(50, 150), blue);
        EXPECT_EQ(bmp.pixel(150, 150), white);
        EXPECT_EQ(bmp.pixel(250, 150), white);
        EXPECT_EQ(bmp.pixel(50 + 13, 50), white);  // radius 12, outline 1 pixel wide

        int lineWidth = 0;
        for (int x = 30; x <= 70; ++x) {
            const QRgb p = bmp.pixel(x, 100);
            if (p == c.colour) ++lineWidth;
            else EXPECT_EQ(p, white) << "x " << x;
        }
        EXPECT_EQ(lineWidth, c.width);
        EXPECT_EQ(bmp.pixel(100, 100), red);  // 0.3 and -0.2 are red too
        EXPECT_EQ(bmp.pixel(150, 100), red);
    }
}

TEST(NeuralNetwork, DiagramRepaintsTheWholeImage) {
    const NeuralNetwork net(forecastLayers, 1.0f, 8u);
    const QImage fresh = net.CreateNeuronBmp();
    EXPECT_EQ(fresh.size(), QSize(1500, 400));

    QImage reused(700, 900, QImage::Format_ARGB32);
    reused.fill(Qt::green);
    net.CreateNeuronBmp(reused);
    EXPECT_EQ(reused, fresh);
    net.CreateNeuronBmp(reused);
    EXPECT_EQ(reused, fresh);
}

TEST(NeuralNetwork, DiagramOfNoNetworkPaintsNothing) {
    NeuralNetwork net(std::vector<unsigned>{2, 1}, 1.0f, 1u);
    NeuralNetwork taken(std::move(net));
    QImage bmp(10, 10, QImage::Format_RGB32);
    bmp.fill(Qt::green);
    const QImage before = bmp;
    EXPECT_THROW(net.CreateNeuronBmp(bmp), VelkorError);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(bmp, before);
}
