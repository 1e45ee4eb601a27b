#pragma once
#include <floatfann.h>

#include <QString>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QImage;

// Owns one FANN network (floating-point variant) and offers what the forecast needs: a layered
// network with fixed training defaults, one-pattern training, running, the mean squared error,
// saving and loading, and a diagram of the network.
//
// Move-only. A moved-from wrapper holds no network: its destructor releases nothing, and every
// checked operation on it throws VelkorError.
class NeuralNetwork final {
public:
    // Builds a network of the given layer sizes (input layer first). A rate below 1.0 gives a
    // sparse network, anything else (1.0 or more, NaN) a fully connected one. Weights are
    // random in [-0.5, 0.5]; learning rate 0.7, momentum 0, steepness 0.5 and sigmoid on hidden
    // and output layers, RPROP, error accumulator reset.
    // With a seed the weight randomization is reproducible: the same seed gives the same
    // weights (for a sparse network only the weights, FANN picks its connections itself).
    // Throws VelkorError for fewer than 2 layers, an empty layer, a network too large for FANN
    // to count, or when FANN cannot create the network.
    NeuralNetwork(std::span<const unsigned> NeuronNumInLayer, float ConnectionRate,
                std::optional<unsigned> seed = std::nullopt);
    // Loads a network saved by SaveToFile. Sets no defaults: the properties read zero.
    // Throws VelkorError naming the file when it cannot be read as a network.
    explicit NeuralNetwork(const QString& LoadFromFileName);

    NeuralNetwork(NeuralNetwork&&) noexcept = default;
    NeuralNetwork& operator=(NeuralNetwork&&) noexcept = default;
    NeuralNetwork(const NeuralNetwork&) = delete;
    NeuralNetwork& operator=(const NeuralNetwork&) = delete;
    ~NeuralNetwork() = default;

    // One incremental training step on one pattern. Inputs must hold exactly as many values as
    // the input layer has neurons, Outputs (the targets) as many as the output layer; anything
    // else, an empty array included, throws VelkorError before FANN is called.
    void Train(std::span<const float> Inputs, std::span<const float> Outputs);
    // Fast path for training loops, with no checks at all: the network must exist, Inputs must
    // point to as many values as the input layer has neurons and Outputs to as many as the
    // output layer. Costs exactly one fann_train call.
    void Train(const float* Inputs, const float* Outputs);
    // Runs the network and copies its first Outputs.size() outputs into Outputs. Inputs must
    // hold exactly as many values as the input layer has neurons and Outputs at most as many as
    // the output layer; otherwise VelkorError before FANN is called. An empty Outputs copies
    // nothing.
    void Run(std::span<const float> Inputs, std::span<float> Outputs);

    // Mean squared error over all Train calls since the last ResetMse (Run does not count).
    float GetMSE() const;
    void ResetMse();

    // Writes the network in FANN's file format. Returns false when the file cannot be written;
    // prints nothing.
    bool SaveToFile(const QString& FileName) const;
    // Replaces the network with one read from the file. When the file cannot be read as a
    // network, returns false and keeps the current network.
    bool LoadFromFile(const QString& FileName);
    // Trains on a FANN training-data file, reporting every 1000 epochs on standard output.
    // Throws VelkorError when the file cannot be read or does not fit the network.
    void TrainOnFile(const QString& FileName, unsigned MaxEpochs, float DesiredError);

    unsigned GetNumLayers() const;
    unsigned GetTotalConnections() const;
    // The algorithm as the network holds it (not the property).
    unsigned GetTrainingAlgorithm() const;
    // Neurons per layer, input layer first (GetNumLayers() elements).
    std::vector<unsigned> GetLayerArray() const;
    // Bias neurons per layer (GetNumLayers() elements).
    std::vector<unsigned> GetBiasArray() const;
    // Every connection in FANN's order (GetTotalConnections() elements).
    std::vector<fann_connection> GetConnectionArray() const;

    // Setters store the value and pass it to the network; the properties return what was
    // last set through the wrapper (zero after the file constructor), not what the network holds.
    void SetLearningRate(float Value);
    void SetLearningMomentum(float Value);
    void SetActivationFunctionHidden(fann_activationfunc_enum Value);
    void SetActivationFunctionOutput(fann_activationfunc_enum Value);
    void SetTrainingAlgorithm(fann_train_enum Value);
    float LearningRate() const { return FLearningRate; }
    float LearningMomentum() const { return FLearningMomentum; }
    fann_activationfunc_enum ActivationFunctionHidden() const { return FActivationFunctionHidden; }
    fann_activationfunc_enum ActivationFunctionOutput() const { return FActivationFunctionOutput; }
    fann_train_enum TrainingAlgorithm() const { return FTrainingAlgorithm; }
    // The connection rate given to the layered constructor (zero after the file constructor).
    float ConnectionRate() const { return FConnectionRate; }

    // Draws the network into bmp, which is resized to (columns x 100) by (layers x 100) pixels
    // in Format_RGB32: one row of 100-pixel cells per layer (input layer on top), each neuron a
    // filled circle of radius 12 (blue, bias neurons orange), each connection a line from
    // centre to centre, black for a weight of 1 or more, red otherwise, as wide as the weight
    // truncated toward zero (at least 1). Throws VelkorError, leaving bmp as it was, when the
    // network has no layers or connections.
    void CreateNeuronBmp(QImage& bmp) const;
    // The same drawing in a new image.
    QImage CreateNeuronBmp() const;

    // What the drawing is made of, taken from the network at one moment: it can be drawn
    // later, after the network is gone (DrawNeuronBmp draws it as CreateNeuronBmp would have).
    struct Shape {
        std::vector<fann_connection> connections;
        std::vector<unsigned> layers, biases;
    };
    Shape NeuronShape() const;
    static void DrawNeuronBmp(const Shape& shape, QImage& bmp);

    // The network itself, still owned by the wrapper (for benchmarks and tests).
    fann* handle() const { return FFann.get(); }

private:
    struct FannDeleter {
        void operator()(fann* ann) const noexcept { fann_destroy(ann); }
    };

    fann* net() const;  // the network, or VelkorError when there is none

    std::unique_ptr<fann, FannDeleter> FFann;
    float FConnectionRate = 0;
    float FLearningRate = 0;
    float FLearningMomentum = 0;
    fann_activationfunc_enum FActivationFunctionHidden = FANN_LINEAR;
    fann_activationfunc_enum FActivationFunctionOutput = FANN_LINEAR;
    fann_train_enum FTrainingAlgorithm = FANN_TRAIN_INCREMENTAL;
};
