#include "net/NeuralNetwork.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QStringList>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "app/Texts.h"
#include "app/VelkorError.h"

namespace {

// Side of one diagram cell in pixels.
constexpr int span = 100;

constexpr float initialLearningRate = 0.7f;
constexpr float initialMomentum = 0.0f;
constexpr float initialSteepness = 0.5f;
constexpr fann_type minWeight = -0.5f;
constexpr fann_type maxWeight = 0.5f;
constexpr unsigned epochsBetweenReports = 1000;

QString layerList(std::span<const unsigned> layers) {
    QStringList parts;
    for (unsigned n : layers) parts << QString::number(n);
    return parts.join(QStringLiteral(", "));
}

// FANN reports its errors through the return values we check; keep it from also printing them.
void silence(fann* ann) {
    fann_set_error_log(reinterpret_cast<struct fann_error*>(ann), nullptr);
}

// FANN crashes on a layer without neurons and counts neurons and connections in unsigned int;
// refuse such layouts before handing them over.
void checkLayout(std::span<const unsigned> layers) {
    if (std::find(layers.begin(), layers.end(), 0u) != layers.end())
        throw VelkorError(QStringLiteral("各レイヤーに１個以上のニューロンが必要です（レイヤー %1）")
                              .arg(layerList(layers)));
    std::uint64_t neurons = 0;
    std::uint64_t connections = 0;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        neurons += std::uint64_t(layers[i]) + 1;
        if (i + 1 < layers.size())
            connections += (std::uint64_t(layers[i]) + 1) * layers[i + 1];
    }
    if (neurons > UINT_MAX || connections > UINT_MAX)
        throw VelkorError(QStringLiteral("ニューラルネットワークが大きすぎます（レイヤー %1）")
                              .arg(layerList(layers)));
}

void checkCount(std::size_t given, unsigned needed, const QString& what) {
    if (given == 0 || given != needed)
        throw VelkorError(QStringLiteral("%1は %2 個必要ですが %3 個です")
                              .arg(what)
                              .arg(needed)
                              .arg(given));
}

// The weight truncated toward zero. NaN counts as 0; beyond one cell a wider line shows nothing
// more, so the value is kept within +-span (which also keeps the conversion defined).
int truncatedWeight(fann_type weight) {
    if (std::isnan(weight)) return 0;
    return static_cast<int>(std::clamp(std::trunc(weight), fann_type(-span), fann_type(span)));
}

struct TrainDataDeleter {
    void operator()(fann_train_data* data) const noexcept { fann_destroy_train(data); }
};

}  // namespace

NeuralNetwork::NeuralNetwork(std::span<const unsigned> NeuronNumInLayer, float ConnectionRate,
                         std::optional<unsigned> seed) {
    if (NeuronNumInLayer.size() < 2) throw VelkorError(texts::twoLayers);
    checkLayout(NeuronNumInLayer);

    FConnectionRate = ConnectionRate;
    FLearningRate = initialLearningRate;
    FLearningMomentum = initialMomentum;
    FActivationFunctionHidden = FANN_SIGMOID;
    FActivationFunctionOutput = FANN_SIGMOID;
    FTrainingAlgorithm = FANN_TRAIN_RPROP;

    const auto numLayers = static_cast<unsigned>(NeuronNumInLayer.size());
    if (ConnectionRate < 1.0f)
        FFann.reset(fann_create_sparse_array(ConnectionRate, numLayers, NeuronNumInLayer.data()));
    else
        FFann.reset(fann_create_standard_array(numLayers, NeuronNumInLayer.data()));
    if (!FFann)
        throw VelkorError(QStringLiteral("ニューラルネットワークを作成できません（レイヤー %1、結合率 %2）")
                              .arg(layerList(NeuronNumInLayer))
                              .arg(ConnectionRate));
    fann* ann = FFann.get();
    silence(ann);

    // FANN seeds the C generator itself while creating a network; reseed afterwards so the
    // weights below depend on the seed alone.
    if (seed) std::srand(*seed);
    fann_randomize_weights(ann, minWeight, maxWeight);
    fann_set_learning_rate(ann, FLearningRate);
    fann_set_learning_momentum(ann, FLearningMomentum);
    fann_set_activation_steepness_hidden(ann, initialSteepness);
    fann_set_activation_steepness_output(ann, initialSteepness);
    fann_set_activation_function_hidden(ann, FActivationFunctionHidden);
    fann_set_activation_function_output(ann, FActivationFunctionOutput);
    fann_set_training_algorithm(ann, FTrainingAlgorithm);
    ResetMse();
}

NeuralNetwork::NeuralNetwork(const QString& LoadFromFileName) {
    if (!LoadFromFile(LoadFromFileName))
        throw VelkorError(texts::fileOpenError(
            LoadFromFileName, QStringLiteral("ニューラルネットワークのファイルとして読めません")));
}

fann* NeuralNetwork::net() const {
    if (!FFann) throw VelkorError(QStringLiteral("ニューラルネットワークがありません"));
    return FFann.get();
}

void NeuralNetwork::Train(std::span<const float> Inputs, std::span<const float> Outputs) {
    fann* ann = net();
    checkCount(Inputs.size(), fann_get_num_input(ann), QStringLiteral("ネットワークへの入力"));
    checkCount(Outputs.size(), fann_get_num_output(ann), QStringLiteral("ネットワークの教師データ"));
    Train(Inputs.data(), Outputs.data());
}

void NeuralNetwork::Train(const float* Inputs, const float* Outputs) {
    // fann_train only reads both arrays; its parameters are merely not declared const.
    fann_train(FFann.get(), const_cast<float*>(Inputs), const_cast<float*>(Outputs));
}

void NeuralNetwork::Run(std::span<const float> Inputs, std::span<float> Outputs) {
    fann* ann = net();
    checkCount(Inputs.size(), fann_get_num_input(ann), QStringLiteral("ネットワークへの入力"));
    const unsigned available = fann_get_num_output(ann);
    if (Outputs.size() > available)
        throw VelkorError(QStringLiteral("ネットワークの出力は %1 個までですが %2 個求められました")
                              .arg(available)
                              .arg(Outputs.size()));
    const fann_type* result = fann_run(ann, const_cast<float*>(Inputs.data()));
    std::copy_n(result, Outputs.size(), Outputs.begin());
}

float NeuralNetwork::GetMSE() const {
    return fann_get_MSE(net());
}

void NeuralNetwork::ResetMse() {
    fann_reset_MSE(net());
}

bool NeuralNetwork::SaveToFile(const QString& FileName) const {
    return fann_save(net(), QFile::encodeName(FileName).constData()) == 0;
}

bool NeuralNetwork::LoadFromFile(const QString& FileName) {
    std::unique_ptr<fann, FannDeleter> loaded(
        fann_create_from_file(QFile::encodeName(FileName).constData()));
    if (!loaded) return false;
    silence(loaded.get());
    FFann = std::move(loaded);
    return true;
}

void NeuralNetwork::TrainOnFile(const QString& FileName, unsigned MaxEpochs, float DesiredError) {
    fann* ann = net();
    // Read and check the data first (what fann_train_on_file would do unchecked), then train.
    std::unique_ptr<fann_train_data, TrainDataDeleter> data(
        fann_read_train_from_file(QFile::encodeName(FileName).constData()));
    if (!data)
        throw VelkorError(
            texts::fileOpenError(FileName, QStringLiteral("学習データのファイルとして読めません")));
    const unsigned dataInputs = fann_num_input_train_data(data.get());
    const unsigned dataOutputs = fann_num_output_train_data(data.get());
    if (dataInputs != fann_get_num_input(ann) || dataOutputs != fann_get_num_output(ann))
        throw VelkorError(
            QStringLiteral("%1: 学習データの入力 %2 個・出力 %3 個がネットワークの入力 %4 個・出力 %5 個と合いません")
                .arg(FileName)
                .arg(dataInputs)
                .arg(dataOutputs)
                .arg(fann_get_num_input(ann))
                .arg(fann_get_num_output(ann)));
    fann_train_on_data(ann, data.get(), MaxEpochs, epochsBetweenReports, DesiredError);
}

unsigned NeuralNetwork::GetNumLayers() const {
    return fann_get_num_layers(net());
}

unsigned NeuralNetwork::GetTotalConnections() const {
    return fann_get_total_connections(net());
}

unsigned NeuralNetwork::GetTrainingAlgorithm() const {
    return static_cast<unsigned>(fann_get_training_algorithm(net()));
}

std::vector<unsigned> NeuralNetwork::GetLayerArray() const {
    std::vector<unsigned> layers(GetNumLayers());
    if (!layers.empty()) fann_get_layer_array(FFann.get(), layers.data());
    return layers;
}

std::vector<unsigned> NeuralNetwork::GetBiasArray() const {
    std::vector<unsigned> bias(GetNumLayers());
    if (!bias.empty()) fann_get_bias_array(FFann.get(), bias.data());
    return bias;
}

std::vector<fann_connection> NeuralNetwork::GetConnectionArray() const {
    std::vector<fann_connection> connections(GetTotalConnections());
    if (!connections.empty()) fann_get_connection_array(FFann.get(), connections.data());
    return connections;
}

void NeuralNetwork::SetLearningRate(float Value) {
    fann* ann = net();
    FLearningRate = Value;
    fann_set_learning_rate(ann, Value);
}

void NeuralNetwork::SetLearningMomentum(float Value) {
    fann* ann = net();
    FLearningMomentum = Value;
    fann_set_learning_momentum(ann, Value);
}

void NeuralNetwork::SetActivationFunctionHidden(fann_activationfunc_enum Value) {
    fann* ann = net();
    FActivationFunctionHidden = Value;
    fann_set_activation_function_hidden(ann, Value);
}

void NeuralNetwork::SetActivationFunctionOutput(fann_activationfunc_enum Value) {
    fann* ann = net();
    FActivationFunctionOutput = Value;
    fann_set_activation_function_output(ann, Value);
}

void NeuralNetwork::SetTrainingAlgorithm(fann_train_enum Value) {
    fann* ann = net();
    FTrainingAlgorithm = Value;
    fann_set_training_algorithm(ann, Value);
}

namespace {
const QString& cannotDraw() {
    static const QString t = QStringLiteral("レイヤーか結合のないネットワークは図にできません");
    return t;
}
}  // namespace

NeuralNetwork::Shape NeuralNetwork::NeuronShape() const {
    if (!FFann) throw VelkorError(cannotDraw());
    return {GetConnectionArray(), GetLayerArray(), GetBiasArray()};
}

void NeuralNetwork::CreateNeuronBmp(QImage& bmp) const { DrawNeuronBmp(NeuronShape(), bmp); }

void NeuralNetwork::DrawNeuronBmp(const Shape& shape, QImage& bmp) {
    const std::vector<fann_connection>& connections = shape.connections;
    const std::vector<unsigned>& layers = shape.layers;
    const std::vector<unsigned>& biases = shape.biases;
    if (connections.empty() || layers.empty() || biases.size() != layers.size()) throw VelkorError(cannotDraw());

    // Neurons in FANN's numbering: per layer, its ordinary neurons, then its bias neurons.
    struct TNeuron {
        int x;
        int y;
        bool isBias;
    };
    std::vector<TNeuron> neurons;
    int columns = 0;
    for (std::size_t y = 0; y < layers.size(); ++y) {
        const unsigned count = layers[y] + biases[y];
        for (unsigned x = 0; x < count; ++x)
            neurons.push_back({int(x), int(y), x >= layers[y]});
        columns = std::max(columns, int(count));
    }
    for (const fann_connection& c : connections)
        if (c.from_neuron >= neurons.size() || c.to_neuron >= neurons.size())
            throw VelkorError(QStringLiteral("ネットワークの結合が存在しないニューロン %1 を指しています")
                                  .arg(std::max(c.from_neuron, c.to_neuron)));
    const int rows = int(layers.size());

    const qint64 width = qint64(columns) * span;
    const qint64 height = qint64(rows) * span;
    QImage image;
    if (width <= INT_MAX && height <= INT_MAX)
        image = QImage(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull())
        throw VelkorError(QStringLiteral("ネットワークの図が大きすぎます（%1 × %2 ピクセル）")
                              .arg(width)
                              .arg(height));
    image.fill(Qt::white);

    const auto centre = [](const TNeuron& n) {
        return QPoint(n.x * span + span / 2, n.y * span + span / 2);
    };
    {
        QPainter painter(&image);
        QPen pen;
        for (const fann_connection& c : connections) {
            const int w = truncatedWeight(c.weight);
            pen.setColor(w > 0 ? QColor(Qt::black) : QColor(255, 0, 0));
            pen.setWidth(w == 0 ? 1 : std::abs(w));
            painter.setPen(pen);
            painter.drawLine(centre(neurons[c.from_neuron]), centre(neurons[c.to_neuron]));
        }
        // The circles keep the width of the last line's pen.
        for (const TNeuron& n : neurons) {
            const QColor colour = n.isBias ? QColor(255, 153, 0) : QColor(0, 0, 255);
            pen.setColor(colour);
            painter.setPen(pen);
            painter.setBrush(colour);
            painter.drawEllipse(centre(n), span / 8, span / 8);
        }
    }
    bmp = std::move(image);
}

QImage NeuralNetwork::CreateNeuronBmp() const {
    QImage bmp;
    CreateNeuronBmp(bmp);
    return bmp;
}
