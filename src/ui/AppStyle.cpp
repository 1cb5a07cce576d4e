#include "AppStyle.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QScreen>
#include <QWidget>

#include <algorithm>

QFont dialogFont()
{
    // Narrow faces whose 11-pixel line is 13 pixels high, like the dialog
    // font the layout was drawn for; plain DejaVu Sans is the wide last resort.
    static const char *const preferred[] = {"DejaVu Sans Condensed", "Liberation Sans", "Arial", "Nimbus Sans", "DejaVu Sans"};
    QString family = QStringLiteral("Sans Serif");
    const QStringList available = QFontDatabase::families();
    for (const char *name : preferred) {
        // Families may carry their foundry: "Nimbus Sans [urw]".
        const QString wanted = QLatin1String(name);
        const bool present = std::any_of(available.begin(), available.end(), [&wanted](const QString &f) {
            return f == wanted || f.startsWith(wanted + QLatin1String(" ["));
        });
        if (present) {
            family = QLatin1String(name);
            break;
        }
    }
    QFont font(family);
    font.setPixelSize(11);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void applyApplicationFont(QApplication &app)
{
    app.setFont(dialogFont());
}

void centreOnPrimaryScreen(QWidget *window)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect centred(QPoint(), window->size());
        centred.moveCenter(screen->availableGeometry().center());
        window->move(centred.topLeft());
    }
}
