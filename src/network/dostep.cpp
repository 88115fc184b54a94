#include "dostep.h"

#include <QHostAddress>

bool Dostep::ustawSieci(const QString &lista, QString &blad)
{
    QList<std::pair<quint32, quint32>> nowe;
    for (const QString &wpis : lista.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString tekst = wpis.trimmed();
        std::pair<QHostAddress, int> siec {QHostAddress(tekst), 32};
        if (tekst.contains(QLatin1Char('/')))
            siec = QHostAddress::parseSubnet(tekst);
        if (siec.first.protocol() != QAbstractSocket::IPv4Protocol || siec.second < 0
            || siec.second > 32) {
            blad = QStringLiteral("\"%1\" nie jest siecią IPv4 (np. 10.0.0.0/8) ani adresem IPv4")
                       .arg(tekst);
            return false;
        }
        const quint32 maska = siec.second == 0 ? 0 : ~quint32(0) << (32 - siec.second);
        nowe.append({siec.first.toIPv4Address() & maska, maska});
    }
    sieci = nowe;
    return true;
}

Dostep::Decyzja Dostep::sprawdz(quint32 adres) const
{
    if (!sieci.isEmpty() && std::none_of(sieci.cbegin(), sieci.cend(), [adres](const auto &siec) {
            return (adres & siec.second) == siec.first;
        }))
        return Decyzja::SpozaSieci;
    if (maksZAdresu > 0 && polaczen.value(adres) >= maksZAdresu)
        return Decyzja::PonadLimit;
    return Decyzja::Przyjete;
}

void Dostep::usun(quint32 adres)
{
    const auto it = polaczen.find(adres);
    if (it != polaczen.end() && --*it <= 0)
        polaczen.erase(it);
}
