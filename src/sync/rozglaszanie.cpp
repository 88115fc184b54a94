#include "sync/ramka.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QSpinBox>
#include <QTcpSocket>
#include <QTextBrowser>

void Serwer::wyslijZadanie()
{
    okresSynch(poleOkresu->value());
    licznikTaktow = 0;
    const bool zadanie = typKomunikatu == ramka::kodZadania;
    if (zadanie)
        czasZadania = czasSerwera;

    const QByteArray blok = zbudujRamke(typKomunikatu, czasZadania);
    liczbaZapytanych = 0;
    for (QTcpSocket *gniazdo : std::as_const(*klienci)) {
        gniazdo->write(blok);
        ++liczbaZapytanych;
        if (zadanie)
            polaczenia[gniazdo].zapytaj(); // it may answer this request, once
    }
    // Any broadcast ends the exchange before it; a request opens the next,
    // unless nobody was there to ask.
    wymianaOtwarta = zadanie && liczbaZapytanych > 0;
    saRoznice = false;

    const QString ilu = QString::number(liczbaZapytanych);
    switch (typKomunikatu) {
    case ramka::kodZadania:
        dopisz(oknoSerwera,
               zeZnacznikiem(czasSerwera,
                             QStringLiteral(" - Nadano żądanie wysłania godziny do ") + ilu
                                 + QStringLiteral(" klientów")));
        break;
    case ramka::kodWyniku:
        dopisz(oknoSerwera,
               zeZnacznikiem(czasSerwera,
                             QStringLiteral(" - Wysłano godzinę synchronizacji ")
                                 + godzina(czasZadania) + QStringLiteral(" do ") + ilu
                                 + QStringLiteral(" klientów")));
        typKomunikatu = ramka::kodZadania;
        break;
    default:
        typKomunikatu = ramka::kodZadania;
        break;
    }
    liczbaOdpowiedzi = 0;
}
