#pragma once
#include <QString>
#include <array>
#include <memory>

#include "db/Slots.h"

class TTarselFann;

// A statement text with a mark the SQL builder sets when one of its values was not a
// valid literal; the executor refuses a marked statement. Assigning a text clears it.
struct SqlText {
    QString text;
    bool bad = false;
    SqlText& operator=(const QString& s) { text = s; bad = false; return *this; }
    operator const QString&() const { return text; }
};

// The working state through which the operations of the window hand data to each other.
struct VelkorState {
    Slots sa;          // value slots sa[1..80]
    SqlText sqw;       // statement being built or run
    QString stdb;      // connection key "csq" or "csm"
    QString stnm;      // current table
    QString stid;      // catalog id of the current table, as text
    QString swh;       // tail of a generated select
    int iasi = 5;      // timeframe code 5, 30, 80
    int ityk = 0;      // forecast periods of the active timeframe
    int itkn = 0;      // range window length
    int imcn = 0;      // bars stored by the last import

    // Settings: element 0 read days, element 1 training passes.
    std::array<int, 2> i05RdLn{40, 1000};
    std::array<int, 2> i30RdLn{200, 1000};
    std::array<int, 2> i80RdLn{200, 600};
    int iRdLn = 0;     // 1 once a settings edit accepted a number
    QString scfn;      // full path of "config.txt"
    QString susj;      // quote file being validated or imported

    // Window ranges: element 0 maximum, 1 minimum, 2 span.
    std::array<int, 3> icvt{}, ihvt{}, ilvt{}, im05t{}, im20t{}, im1ht{};
    std::array<double, 3> datt{};
    double dslmx = 1;

    // Close-move scale per timeframe: largest rise, largest fall, scale.
    std::array<int, 3> i05S{}, i30S{}, i80S{};
    // Import statistics shared with the training table builder.
    QString sath, satl, srsh, srsl;
    QString shmh, shml, slmh, slml, scmh, scml, sbmh, sbml;
    double dmx = 0;
    int i01 = 0, i02 = 0;

    std::unique_ptr<TTarselFann> TarselFann;  // the network of the running forecast

    VelkorState();
    ~VelkorState();
};
