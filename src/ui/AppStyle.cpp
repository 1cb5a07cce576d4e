#include "AppStyle.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

QFont dialogFont()
{
    // Helvetica-metric faces are closest to the narrow dialog font the
    // layout was drawn for; DejaVu Sans is wider but always present.
    static const char *const preferred[] = {"Liberation Sans", "Nimbus Sans", "Arial", "DejaVu Sans"};
    QString family = QStringLiteral("Sans Serif");
    const QStringList available = QFontDatabase::families();
    for (const char *name : preferred) {
        if (available.contains(QLatin1String(name))) {
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
