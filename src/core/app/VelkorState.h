#pragma once
#include <QString>
#include <array>
#include <memory>


class NeuralNetwork;

// A statement text with a mark the SQL builder sets when one of its values was not a
// valid literal; the executor refuses a marked statement. Assigning a text clears it.
struct SqlText {
    QString text;
    bool bad = false;
    SqlText() = default;
    SqlText(const QString& s) : text(s) {}
    SqlText& operator=(const QString& s) { text = s; bad = false; return *this; }
    operator const QString&() const { return text; }
};

// The read days and training passes of one timeframe, as "cini.txt" keeps them.
struct TimeframeSettings {
    int readDays = 0;
    int passes = 0;
    bool operator==(const TimeframeSettings&) const = default;
};

// What the window keeps between its operations, per timeframe by its index.
struct VelkorState {
    std::array<TimeframeSettings, 3> settings{{{40, 1000}, {200, 1000}, {200, 600}}};
    bool settingsEdited = false;  // a settings edit accepted a number: "cini.txt" is written on closing

    std::unique_ptr<NeuralNetwork> runningNetwork;  // the network of the running forecast

    VelkorState();
    ~VelkorState();
};
