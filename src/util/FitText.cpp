#include "FitText.h"

QString FitTextToControl(const QString &text, int width, const std::function<int(const QString &)> &measure)
{
    QString t = text;
    qsizetype n = t.size() / 2 - 2;
    int tw = measure(t);
    while (tw > width && n > 3) {
        t = t.left(n) + QLatin1String("...") + t.right(n);
        tw = measure(t);
        --n;
    }
    return t;
}
