#include "DarkStyle.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

QPalette velkorDarkPalette()
{
    const QColor window(0x35, 0x35, 0x38);
    const QColor base(0x1e, 0x1e, 0x20);
    const QColor alternate(0x29, 0x29, 0x2c);
    const QColor button(0x42, 0x42, 0x46);
    const QColor text(0xe8, 0xe8, 0xe8);
    const QColor highlight(0x2f, 0x65, 0xca);

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
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(fusion);
    app.setPalette(velkorDarkPalette());
}
