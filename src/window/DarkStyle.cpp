#include "window/DarkStyle.h"

#include <QApplication>
#include <QColor>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

namespace {

const QColor focusFrame(0x8a, 0xb8, 0xff);

// Fusion with two changes: a button that holds the focus always shows it (Fusion draws the
// frame only after the focus moved by keyboard, so the focus set at start-up went unseen), and
// tabs a little narrower, so that all nine fit the bar at the design size.
class VelkorStyle : public QProxyStyle {
public:
    VelkorStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int pixelMetric(PixelMetric m, const QStyleOption* o, const QWidget* w) const override {
        if (m == PM_TabBarTabHSpace) return 16;
        return QProxyStyle::pixelMetric(m, o, w);
    }

    void drawControl(ControlElement e, const QStyleOption* o, QPainter* p, const QWidget* w) const override {
        QProxyStyle::drawControl(e, o, p, w);
        if (e != CE_PushButton || !(o->state & State_HasFocus)) return;
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->setPen(QPen(focusFrame, 2));
        p->setBrush(Qt::NoBrush);
        p->drawRoundedRect(QRectF(o->rect).adjusted(2, 2, -2, -2), 3, 3);
        p->restore();
    }
};

}  // namespace

QPalette velkorDarkPalette()
{
    using dark::window, dark::base, dark::alternate, dark::button, dark::text, dark::highlight;

    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, alternate);
    p.setColor(QPalette::ToolTipBase, QColor(0x20, 0x20, 0x22));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x8c, 0x8c, 0x8c));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xff, 0x6b, 0x6b));
    p.setColor(QPalette::Light, QColor(0x5e, 0x5e, 0x62));
    p.setColor(QPalette::Midlight, QColor(0x4c, 0x4c, 0x50));
    // Mid also draws the grid lines of the tables: kept visible against the base colour.
    p.setColor(QPalette::Mid, QColor(0x55, 0x55, 0x5a));
    p.setColor(QPalette::Dark, QColor(0x24, 0x24, 0x26));
    p.setColor(QPalette::Shadow, QColor(0x12, 0x12, 0x12));
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x5a, 0xa9, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xa8, 0x8c, 0xff));

    // Disabled controls: greyed text on slightly lifted backgrounds, muted selection.
    const QColor disabledText(0x80, 0x80, 0x80);
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    p.setColor(QPalette::Disabled, QPalette::PlaceholderText, QColor(0x60, 0x60, 0x60));
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0x2a, 0x2a, 0x2d));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x3a, 0x3a, 0x3d));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x4a, 0x4a, 0x4e));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, QColor(0xa0, 0xa0, 0xa0));
    p.setColor(QPalette::Disabled, QPalette::Light, QColor(0x3a, 0x3a, 0x3d));
    p.setColor(QPalette::Disabled, QPalette::Link, QColor(0x60, 0x80, 0xa0));
    return p;
}

void applyDarkStyle(QApplication& app)
{
    app.setStyle(new VelkorStyle);
    app.setPalette(velkorDarkPalette());
}
