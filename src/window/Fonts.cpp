#include "window/Fonts.h"

#include <QFont>
#include <QHeaderView>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <QWidget>

namespace {

constexpr int kWindowPixels = 23;
constexpr int kLargeButtonPixels = 30;
constexpr int kGridTitlePixels = 23;

// The forecast, verify and write buttons carry the larger font.
const char* const kLargeButtons[] = {
    "a12ysB", "b12ysB", "c12ysB", "a203vfB", "b203vfB", "c203vfB", "g13wtB", "g13riB",
};

} // namespace

QFont velkorFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Gothic"), QStringLiteral("ＭＳ ゴシック"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("monospace")});
    font.setPixelSize(pixelSize);
    return font;
}

void applyVelkorFonts(QWidget* window)
{
    if (!window)
        return;
    window->setFont(velkorFont(kWindowPixels));

    const QFont large = velkorFont(kLargeButtonPixels);
    for (const char* name : kLargeButtons) {
        if (auto* button = window->findChild<QPushButton*>(QLatin1String(name)))
            button->setFont(large);
    }

    const QFont titles = velkorFont(kGridTitlePixels);
    const auto views = window->findChildren<QTableView*>();
    for (QTableView* view : views)
        view->horizontalHeader()->setFont(titles);
}
