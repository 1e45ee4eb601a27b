// Page "4:学図": the learning curve of the last forecast run and its trained network.
#include "window/TrainingPage.h"
#include "window/DarkStyle.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>

#include "app/Texts.h"
#include "forecast/Forecast.h"
#include "window/Chart.h"
#include "window/Fonts.h"
#include "window/VelkorU.h"
#include "ui_VelkorU.h"

namespace {

const QColor& background = dark::base;
const QColor& textColour = dark::text;
const QColor positive(0xff, 0x9a, 0x3c);
const QColor negative(0x4c, 0xa8, 0xff);
const QColor& neuronFill = dark::text;
const QColor biasFill(0x80, 0x80, 0x86);

// Where every neuron stands, in FANN's numbering (per layer its ordinary neurons, then its
// bias neurons), and the x of every layer.
struct Placement {
    std::vector<QPointF> centre;
    std::vector<bool> bias;
    std::vector<int> layer;
    std::vector<double> layerX;
    double radius = 4;
};

Placement placeNeurons(const NeuralNetwork::Shape& shape, const QRectF& area) {
    Placement p;
    const size_t layers = shape.layers.size();
    unsigned most = 1;
    for (size_t l = 0; l < layers; ++l) most = std::max(most, shape.layers[l] + shape.biases[l]);
    const double step = area.height() / most;
    p.radius = std::clamp(step * 0.28, 2.5, 10.0);
    for (size_t l = 0; l < layers; ++l) {
        const double x = layers == 1 ? area.center().x() : area.left() + area.width() * double(l) / double(layers - 1);
        p.layerX.push_back(x);
        const unsigned count = shape.layers[l] + shape.biases[l];
        const double top = area.top() + (area.height() - count * step) / 2;
        for (unsigned i = 0; i < count; ++i) {
            p.centre.push_back({x, top + (i + 0.5) * step});
            p.bias.push_back(i >= shape.layers[l]);
            p.layer.push_back(int(l));
        }
    }
    return p;
}

// Weak connections first, so that the strong ones lie on top.
void drawConnections(QPainter& g, const NeuralNetwork::Shape& shape, const Placement& p, double largest) {
    std::vector<const fann_connection*> order;
    for (const fann_connection& c : shape.connections)
        if (c.from_neuron < p.centre.size() && c.to_neuron < p.centre.size()) order.push_back(&c);
    std::sort(order.begin(), order.end(),
              [](const fann_connection* a, const fann_connection* b) { return std::abs(a->weight) < std::abs(b->weight); });
    for (const fann_connection* c : order) {
        const double strength = std::sqrt(std::abs(c->weight) / largest);
        QColor colour = c->weight >= 0 ? positive : negative;
        colour.setAlphaF(0.12 + 0.83 * strength);
        g.setPen(QPen(colour, 0.5 + 3.5 * strength));
        g.drawLine(p.centre[c->from_neuron], p.centre[c->to_neuron]);
    }
}

void drawNeurons(QPainter& g, const Placement& p) {
    g.setPen(QPen(background, 1.5));
    for (size_t i = 0; i < p.centre.size(); ++i) {
        const double r = p.radius;
        const QRectF box(p.centre[i].x() - r, p.centre[i].y() - r, 2 * r, 2 * r);
        g.setBrush(p.bias[i] ? biasFill : neuronFill);
        if (p.bias[i]) g.drawRect(box);
        else g.drawEllipse(box);
    }
}

// The input names to the left of the input neurons, the output names to the right of the
// output neurons, and every layer's name and size above it.
void drawLabels(QPainter& g, const NeuralNetwork::Shape& shape, const Placement& p, const QStringList& inputs,
                const QStringList& outputs, double captionY) {
    const QFontMetricsF fm(g.font());
    const int last = int(shape.layers.size()) - 1;
    g.setPen(textColour);
    int ordinary = 0;
    for (size_t i = 0; i < p.centre.size(); ++i) {
        if (i > 0 && p.layer[i] != p.layer[i - 1]) ordinary = 0;
        if (p.bias[i]) continue;
        const int l = p.layer[i];
        const QStringList& names = l == 0 ? inputs : outputs;
        const bool named = (l == 0 || l == last) && names.size() == int(shape.layers[size_t(l)]);
        const QString name = named ? names[ordinary] : QString();
        ++ordinary;
        if (name.isEmpty() || (l != 0 && l != last)) continue;
        const double gap = p.radius + 6;
        const QRectF r = l == 0 ? QRectF(p.centre[i].x() - gap - 200, p.centre[i].y() - fm.height(), 200, 2 * fm.height())
                                : QRectF(p.centre[i].x() + gap, p.centre[i].y() - fm.height(), 200, 2 * fm.height());
        g.drawText(r, Qt::AlignVCenter | (l == 0 ? Qt::AlignRight : Qt::AlignLeft), name);
    }
    for (int l = 0; l <= last; ++l) {
        const QString caption = (l == 0 ? texts::inputLayer : l == last ? texts::outputLayer : texts::hiddenLayer) +
                                QLatin1Char(' ') + QString::number(shape.layers[size_t(l)]);
        g.drawText(QRectF(p.layerX[size_t(l)] - 100, captionY, 200, fm.height()), Qt::AlignCenter, caption);
    }
}

void drawLegend(QPainter& g, const QRectF& box, double largest) {
    const QFontMetricsF fm(g.font());
    const double line = fm.height() * 1.3;
    double x = box.left();
    const double y = box.top() + line / 2;
    auto sample = [&](const QColor& colour, const QString& text) {
        g.setPen(QPen(colour, 4, Qt::SolidLine, Qt::FlatCap));
        g.drawLine(QPointF(x, y), QPointF(x + 28, y));
        g.setPen(textColour);
        g.drawText(QPointF(x + 34, y + fm.ascent() / 2 - 1), text);
        x += 34 + fm.horizontalAdvance(text) + 20;
    };
    sample(positive, texts::positiveWeight);
    sample(negative, texts::negativeWeight);
    const double s = fm.height() * 0.55;
    g.setPen(QPen(background, 1.5));
    g.setBrush(biasFill);
    g.drawRect(QRectF(x, y - s / 2, s, s));
    g.setPen(textColour);
    g.drawText(QPointF(x + s + 6, y + fm.ascent() / 2 - 1), texts::biasNeuron);
    g.drawText(QPointF(box.left(), y + line + fm.ascent() / 2 - 1), texts::weightStrength(largest));
}

double largestWeight(const NeuralNetwork::Shape& shape) {
    double largest = 0;
    for (const fann_connection& c : shape.connections) largest = std::max(largest, double(std::abs(c.weight)));
    return largest > 0 ? largest : 1;
}

}  // namespace

QImage drawNetworkPicture(const NeuralNetwork::Shape& shape, QSize size, const QStringList& inputs,
                          const QStringList& outputs) {
    QImage img(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    img.fill(background);
    if (shape.layers.empty() || shape.biases.size() != shape.layers.size()) return img;
    QPainter g(&img);
    g.setRenderHint(QPainter::Antialiasing);
    g.setFont(velkorFont(std::clamp(size.height() / 30, 12, 18)));
    const QFontMetricsF fm(g.font());
    double left = 12, right = 12;
    for (const QString& s : inputs) left = std::max(left, fm.horizontalAdvance(s) + 24);
    for (const QString& s : outputs) right = std::max(right, fm.horizontalAdvance(s) + 24);
    // Room for the captions above the first and the last layer.
    left = std::max(left, fm.horizontalAdvance(texts::inputLayer + QStringLiteral(" 99")) / 2 + 8);
    right = std::max(right, fm.horizontalAdvance(texts::outputLayer + QStringLiteral(" 99")) / 2 + 8);
    const double top = fm.height() * 1.8, legend = fm.height() * 2.8;
    const QRectF area(left, top, size.width() - left - right, size.height() - top - legend - 8);
    const Placement p = placeNeurons(shape, area);
    const double largest = largestWeight(shape);
    drawConnections(g, shape, p, largest);
    drawNeurons(g, p);
    drawLabels(g, shape, p, inputs, outputs, fm.height() * 0.4);
    drawLegend(g, QRectF(12, size.height() - legend, size.width() - 24, legend), largest);
    return img;
}

namespace {

// Shows the network drawing in the page's image area at the area's own size, drawn anew when
// the area is resized, and first drawn once the page is looked at.
class NetworkPicture : public QObject {
public:
    explicit NetworkPicture(QLabel* label) : QObject(label), label_(label) {
        setObjectName(QStringLiteral("networkPicture"));
        label->installEventFilter(this);
    }
    static NetworkPicture* of(QLabel* label) {
        auto* p = label->findChild<NetworkPicture*>(QStringLiteral("networkPicture"), Qt::FindDirectChildrenOnly);
        return p ? p : new NetworkPicture(label);
    }
    void show(const NeuralNetwork::Shape& shape) {
        shape_ = shape;
        drawn_ = QSize();
        draw();
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == label_ && (e->type() == QEvent::Resize || e->type() == QEvent::Show)) draw();
        return false;
    }

private:
    void draw() {
        const QSize size = label_->contentsRect().size();
        if (!label_->isVisible() || size.isEmpty() || size == drawn_) return;
        drawn_ = size;
        QStringList inputs, outputs;
        for (const QString& c : forecast::inputColumns()) inputs << c;
        for (const QString& o : texts::networkOutputs) outputs << o;
        label_->setPixmap(QPixmap::fromImage(drawNetworkPicture(shape_, size, inputs, outputs)));
    }
    QLabel* label_;
    NeuralNetwork::Shape shape_;
    QSize drawn_;
};

}  // namespace

void TVelkorF::showTrainingPage(const std::vector<double>& errors, const NeuralNetwork::Shape& shape,
                                const QString& mseText) {
    ui->d12ms2L->setText(mseText);
    drawLearningCurve(ui->dCht, errors);
    NetworkPicture::of(ui->dImg)->show(shape);
}
