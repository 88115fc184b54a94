#include "pokaz.h"

QString pokazBajty(const QByteArray &bajty)
{
    constexpr qsizetype najwyzej = 40;
    QString tekst;
    for (qsizetype i = 0; i < qMin(bajty.size(), najwyzej); ++i) {
        const auto b = uchar(bajty[i]);
        tekst += b >= 0x20 && b < 0x7f && b != '\\'
            ? QString(QLatin1Char(char(b)))
            : QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return bajty.size() > najwyzej ? tekst + QStringLiteral("…") : tekst;
}
