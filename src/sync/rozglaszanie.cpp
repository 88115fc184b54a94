#include "sync/ramka.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include "sync/doba.h"
#include "sync/termin.h"

#include <QLabel>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTextBrowser>

#include <utility>

namespace {
// Frames handed to the system in one pass of the event loop. A write costs
// tens of microseconds; thousands of clients are written to a share at a
// time, so that no pass holds the loop for long.
constexpr qsizetype zapisowNaPrzebieg = 1000;
} // namespace

void Serwer::wyslijZadanie()
{
    // Frames reach each client in the order they were broadcast.
    dokonczRozsylanie();
    okresSynch(poleOkresu->value());
    licznikTaktow = 0;
    const bool zadanie = typKomunikatu == ramka::kodZadania;
    if (zadanie) {
        czasZadania = czasSerwera;
        ++numerWymiany;
        miejscaAdresow.clear();
        pominieteZAdresow.clear();
        pominietychZAdresu = 0;
    }

    // To the clients registered now. Until the last frame is written, all
    // of them count as asked, so that the replies of the first cannot
    // complete the exchange.
    rozsylka = Rozsylka {typKomunikatu,
                         czasZadania,
                         roznicaMs(czasZadania, czasSerwera),
                         monotonicznyNs(),
                         zbudujRamke(typKomunikatu, czasZadania),
                         *klienci,
                         0,
                         0,
                         true};
    // Who is sent this agreed time: their next replies tell whether they
    // took it.
    if (typKomunikatu == ramka::kodWyniku)
        uzgodnioneAdresow.clear();
    liczbaZapytanych = qint32(rozsylka.adresaci.size());
    // A window that closes before the last share is written (the loop
    // starved by replies) sums up this request, not the one before it.
    if (zadanie)
        zapytanychWWymianie = liczbaZapytanych;
    // Any broadcast ends the exchange before it; a request opens the next,
    // unless nobody is there to ask.
    wymianaOtwarta = zadanie && liczbaZapytanych > 0;
    saRoznice = false;
    liczbaOdpowiedzi = 0;
    typKomunikatu = ramka::kodZadania;
    rozsylaj();
}

void Serwer::dokonczRozsylanie()
{
    while (rozsylka.trwa)
        rozsylaj();
}

// The next share of the broadcast. A peer that has reset its connection is
// found out by the write and leaves the registry there and then; the rest
// still get their frame, once.
void Serwer::rozsylaj()
{
    Rozsylka &r = rozsylka;
    if (!r.trwa)
        return;
    const bool zadanie = r.kod == ramka::kodZadania;
    const bool wynik = r.kod == ramka::kodWyniku;
    // A later share of an agreed time carries it as far on as the time that
    // has passed since the first was written, so that the length of the
    // broadcast does not become a disagreement between the first clients and
    // the last.
    if (wynik && r.nastepny > 0)
        r.blok = zbudujRamke(r.kod,
                             r.czas.addMSecs(int((monotonicznyNs() - r.pierwszyNs) / 1'000'000)));
    const qsizetype koniec = qMin(r.nastepny + zapisowNaPrzebieg, r.adresaci.size());
    for (; r.nastepny < koniec; ++r.nastepny) {
        QTcpSocket *gniazdo = r.adresaci[r.nastepny];
        if (!polaczenia.contains(gniazdo) || gniazdo->state() != QAbstractSocket::ConnectedState
            || gniazdo->write(r.blok) != r.blok.size())
            continue;
        // Handed to the system now, not when the socket next says it can
        // take it: that would cost another pass and two changes of what the
        // event loop watches.
        gniazdo->flush();
        const auto polaczenie = polaczenia.find(gniazdo);
        if (polaczenie == polaczenia.end())
            continue; // the write found it reset
        ++r.wyslanych;
        if (zadanie)
            polaczenie->zapytaj(); // it may answer this request, once
        if (wynik)
            uzgodnioneAdresow.insert(polaczenie->adres, r.uzgodnionyMs);
    }
    if (r.nastepny < r.adresaci.size()) {
        QMetaObject::invokeMethod(this, &Serwer::rozsylaj, Qt::QueuedConnection);
        return;
    }

    // All written: the counts are the frames written.
    const Rozsylka skonczona = std::exchange(rozsylka, Rozsylka());
    liczbaZapytanych = skonczona.wyslanych;
    const QString ilu = QString::number(skonczona.wyslanych);
    switch (skonczona.kod) {
    case ramka::kodZadania:
        zapytanychWWymianie = skonczona.wyslanych;
        wymianaOtwarta = wymianaOtwarta && skonczona.wyslanych > 0;
        dopiszSzczegol(oknoSerwera,
                       zeZnacznikiem(czasSerwera,
                                     QStringLiteral(" - Nadano żądanie wysłania godziny do ") + ilu
                                         + QStringLiteral(" klientów")));
        break;
    case ramka::kodWyniku:
        dopiszSzczegol(oknoSerwera,
                       zeZnacznikiem(czasSerwera,
                                     QStringLiteral(" - Wysłano godzinę synchronizacji ")
                                         + godzina(skonczona.czas) + QStringLiteral(" do ") + ilu
                                         + QStringLiteral(" klientów")));
        // The summary always reaches the log file, where the lines about
        // single machines may have been cut; the caption at once.
        przekaz(oknoSerwera,
                zeZnacznikiem(czasSerwera,
                              podsumowanieWymiany + ilu + QStringLiteral(" klientów; ")
                                  + roznicaZegarow() + opisPrzestawienia()));
        if (widoczny)
            etykietaKlientow->setText(opisKlientow());
        break;
    default:
        break;
    }
}
