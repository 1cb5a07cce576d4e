#include "Format.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

// A finite double as decimal digits: value = 0.d1d2d3... x 10^exponent,
// taken from the shortest round-trip form so that rounding works on the
// digits a reader would see, not on binary noise (1.005 rounds to 1.01).
struct Decimal {
    std::string digits;  // no leading zeros; empty for zero
    int exponent = 0;
};

Decimal toDecimal(double magnitude)
{
    Decimal d;
    if (magnitude == 0.0)
        return d;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    const std::string text(buf, res.ptr);
    const auto e = text.find('e');
    std::string mantissa = text.substr(0, e);
    const int exp10 = std::stoi(text.substr(e + 1));
    for (char c : mantissa)
        if (c != '.')
            d.digits.push_back(c);
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    d.exponent = exp10 + 1;
    return d;
}

// Integer and fraction digits of `d` rounded to `decimals` places, half
// away from zero.
void roundDecimal(const Decimal &d, int decimals, std::string &integerDigits, std::string &fractionDigits)
{
    // Digit i of the number sits at place exponent - 1 - i (0 = units).
    const int keep = d.exponent + decimals;  // digits kept from the left
    std::string kept;
    bool roundUp = false;
    if (keep >= 0) {
        kept = d.digits.substr(0, std::min<std::size_t>(keep, d.digits.size()));
        kept.append(std::max<int>(0, keep - static_cast<int>(kept.size())), '0');
        if (static_cast<std::size_t>(keep) < d.digits.size())
            roundUp = d.digits[keep] >= '5';
    }
    if (roundUp) {
        int i = static_cast<int>(kept.size()) - 1;
        for (; i >= 0; --i) {
            if (kept[i] == '9') {
                kept[i] = '0';
            } else {
                ++kept[i];
                break;
            }
        }
        if (i < 0)
            kept.insert(kept.begin(), '1');
    }
    // kept now holds the number times 10^decimals, as an integer.
    if (static_cast<int>(kept.size()) < decimals)
        kept.insert(0, decimals - kept.size(), '0');
    integerDigits = kept.substr(0, kept.size() - decimals);
    fractionDigits = kept.substr(kept.size() - decimals);
    const auto firstNonZero = integerDigits.find_first_not_of('0');
    integerDigits = firstNonZero == std::string::npos ? std::string() : integerDigits.substr(firstNonZero);
}

QString plainDecimal(double number)
{
    char buf[512];
    const auto res = std::to_chars(buf, buf + sizeof buf, number, std::chars_format::fixed);
    if (res.ec != std::errc())
        return QString::number(number);
    return QString::fromLatin1(buf, res.ptr - buf);
}

}  // namespace

QString formatWithPattern(double number, const QString &pattern)
{
    if (!std::isfinite(number))
        return QString::number(number);
    if (pattern.isEmpty())
        return plainDecimal(number);

    QString body = pattern;
    const bool percent = body.endsWith(QLatin1Char('%'));
    if (percent)
        body.chop(1);
    const qsizetype point = body.indexOf(QLatin1Char('.'));
    const QString integerPattern = point < 0 ? body : body.left(point);
    const int decimals = point < 0 ? 0 : int(body.mid(point + 1).count(QLatin1Char('0')));
    const bool forceIntegerDigit = integerPattern.contains(QLatin1Char('0'));

    Decimal d = toDecimal(std::fabs(number));
    if (percent && !d.digits.empty())
        d.exponent += 2;
    std::string integerDigits, fractionDigits;
    roundDecimal(d, decimals, integerDigits, fractionDigits);

    const bool isZero = integerDigits.empty() && fractionDigits.find_first_not_of('0') == std::string::npos;
    if (integerDigits.empty() && forceIntegerDigit)
        integerDigits.assign(1, '0');
    std::string out;
    if (number < 0 && !isZero)  // no "-0"
        out.push_back('-');
    out += integerDigits;
    if (decimals > 0)
        out += "." + fractionDigits;
    if (percent)
        out.push_back('%');
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

QString formatByteSize(double value, const QString &pattern)
{
    constexpr double KB = 1024.0, MB = 1048576.0, GB = 1073741824.0;
    const auto scaled = [&](double unit, const char *defaultPattern, const char *suffix) {
        return formatWithPattern(value / unit, pattern.isEmpty() ? QString::fromLatin1(defaultPattern) : pattern)
            + QLatin1String(suffix);
    };
    if (value >= 0 && value <= 1023)
        return formatWithPattern(value) + QLatin1String(" bytes");
    if (value >= KB && value <= MB - 1)
        return scaled(KB, "###0", " KB");
    if (value >= MB && value <= GB - 1)
        return scaled(MB, "###0.0", " MB");
    if (value > GB - 1)
        return scaled(GB, "###0.0", " GB");
    return {};
}

QString byteCount(qint64 bytes)
{
    return bytes == 1 ? QStringLiteral("1 byte") : QString::number(bytes) + QLatin1String(" bytes");
}

std::optional<QString> formatDuration(float seconds)
{
    // Default rounding mode: half-way goes to the even neighbour.
    const double rounded = std::nearbyint(double(seconds));
    if (!(rounded >= double(std::numeric_limits<qint32>::min())
          && rounded <= double(std::numeric_limits<qint32>::max())))
        return std::nullopt;  // also NaN
    const qint32 s = qint32(rounded);

    if (s >= 0 && s <= 59)
        return formatWithPattern(s, QStringLiteral("0")) + QLatin1String(" sec");
    if (s >= 60 && s <= 3599)
        return formatWithPattern(s / 60, QStringLiteral("#0")) + QLatin1String(" min ")
            + formatWithPattern(s % 60, QStringLiteral("0")) + QLatin1String(" sec");
    const double hours = std::floor(double(s) / 3600.0);
    const qint64 minutes = qint64(std::nearbyint(double(s) / 60.0)) % 60;  // sign of the dividend
    return formatWithPattern(hours, QStringLiteral("#0")) + QLatin1String(" hr ")
        + formatWithPattern(double(minutes), QStringLiteral("0")) + QLatin1String(" min");
}
