#include "dostep.h"

#include "app/pokaz.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace {
// "a.b.c.d" or "a.b.c.d/n": four decimal parts from 0 to 255 and a prefix
// length from 0 to 32, none with a leading zero, which some readers take for
// octal. Nothing else: a shortened, hexadecimal or whole-number address, or
// a mask, may not mean what its writer thinks.
bool czytajSiec(const QString &tekst, quint32 &adres, int &dlugosc)
{
    static const QRegularExpression wzor(QStringLiteral(
        "^(0|[1-9]\\d{0,2})\\.(0|[1-9]\\d{0,2})\\.(0|[1-9]\\d{0,2})\\.(0|[1-9]\\d{0,2})"
        "(?:/(0|[1-9]\\d?))?$"));
    const auto dopasowanie = wzor.match(tekst);
    if (!dopasowanie.hasMatch())
        return false;
    adres = 0;
    for (int i = 1; i <= 4; ++i) {
        const int czesc = dopasowanie.captured(i).toInt();
        if (czesc > 255)
            return false;
        adres = (adres << 8) | quint32(czesc);
    }
    dlugosc = dopasowanie.hasCaptured(5) ? dopasowanie.captured(5).toInt() : 32;
    return dlugosc <= 32;
}
} // namespace

bool Dostep::ustawSieci(const QString &lista, QString &blad)
{
    QList<std::pair<quint32, quint32>> nowe;
    for (const QString &wpis : lista.split(QLatin1Char(','))) {
        const QString tekst = wpis.trimmed();
        quint32 adres = 0;
        int dlugosc = 0;
        if (tekst.isEmpty()) {
            blad = lista.trimmed().isEmpty()
                ? QStringLiteral("pusta lista; wszystkie adresy: 0.0.0.0/0")
                : QStringLiteral("pusty element listy \"%1\"").arg(pokazBajty(lista.toUtf8()));
            return false;
        }
        if (!czytajSiec(tekst, adres, dlugosc)) {
            blad = QStringLiteral("\"%1\" nie jest siecią IPv4 w postaci a.b.c.d/n (np. "
                                  "10.0.0.0/8) ani adresem IPv4 a.b.c.d")
                       .arg(pokazBajty(tekst.toUtf8()));
            return false;
        }
        const quint32 maska = dlugosc == 0 ? 0 : ~quint32(0) << (32 - dlugosc);
        nowe.append({adres & maska, maska});
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
