#include "sync/ramka.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QSpinBox>
#include <QTcpSocket>
#include <QTextBrowser>

namespace {
constexpr qint32 wyslanychOdRazu = 1000;
} // namespace

void Serwer::wyslijZadanie()
{
    okresSynch(poleOkresu->value());
    licznikTaktow = 0;
    const bool zadanie = typKomunikatu == ramka::kodZadania;
    if (zadanie)
        czasZadania = czasSerwera;

    const QByteArray blok = zbudujRamke(typKomunikatu, czasZadania);
    liczbaZapytanych = 0;
    // A peer that has reset its connection is found out by the write, and
    // leaves the registry there and then; the broadcast goes over the list as
    // it was, to the sockets still registered, each once.
    const QList<QTcpSocket *> adresaci = *klienci;
    for (QTcpSocket *gniazdo : adresaci) {
        if (!polaczenia.contains(gniazdo) || gniazdo->state() != QAbstractSocket::ConnectedState)
            continue;
        if (gniazdo->write(blok) != blok.size())
            continue;
        // The first are handed to the system at once: waiting for a socket
        // to say it can take the frame costs another pass and two changes of
        // what the event loop watches. The rest go when their sockets say so,
        // a share in each pass, so that no pass holds the loop for long.
        if (liczbaZapytanych < wyslanychOdRazu)
            gniazdo->flush();
        const auto polaczenie = polaczenia.find(gniazdo);
        if (polaczenie == polaczenia.end())
            continue; // the write found it reset
        ++liczbaZapytanych;
        if (zadanie)
            polaczenie->zapytaj(); // it may answer this request, once
    }
    // Any broadcast ends the exchange before it; a request opens the next,
    // unless nobody was there to ask.
    wymianaOtwarta = zadanie && liczbaZapytanych > 0;
    saRoznice = false;

    const QString ilu = QString::number(liczbaZapytanych);
    if (zadanie)
        zapytanychWWymianie = liczbaZapytanych;
    switch (typKomunikatu) {
    case ramka::kodZadania:
        dopiszSzczegol(oknoSerwera,
                       zeZnacznikiem(czasSerwera,
                                     QStringLiteral(" - Nadano żądanie wysłania godziny do ") + ilu
                                         + QStringLiteral(" klientów")));
        break;
    case ramka::kodWyniku:
        dopiszSzczegol(oknoSerwera,
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
