// libFuzzer target: arbitrary command lines and settings files of both
// programs, read as they read them before anything starts. What is taken is
// within its range; what is refused is said in a bounded line that shows no
// control character; help and version need nothing else.
//
// Input: 1 byte choosing what is read (the server's or the client's command
// line, or its settings file), then the arguments, each ended by a NUL, or
// the file's bytes.

#include "app/opcje.h"
#include "opcjeKlienta.h"
#include "sync/zakresy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

void sprawdz(bool warunek)
{
    if (!warunek)
        std::abort();
}

QString plikUstawien;

bool wZakresie(const std::optional<int> &wartosc, const Zakres &zakres)
{
    return !wartosc || (*wartosc >= zakres.od && *wartosc <= zakres.doWartosci);
}

// A mistake is a few lines that name it, never a copy of what was given.
void sprawdzTekst(wierszPolecen::Polecenie polecenie, const QString &tekst)
{
    if (polecenie != wierszPolecen::Polecenie::Blad)
        return;
    sprawdz(!tekst.isEmpty() && tekst.size() <= 2000 + plikUstawien.size());
    for (const QChar znak : tekst)
        sprawdz(znak == u'\n' || znak >= u' ');
}

void serwer(const QStringList &argumenty)
{
    Opcje opcje;
    QString tekst;
    const auto polecenie = czytajOpcje(argumenty, opcje, tekst);
    sprawdzTekst(polecenie, tekst);
    if (polecenie != wierszPolecen::Polecenie::Uruchom)
        return;
    sprawdz(wZakresie(opcje.port, zakresy::port) && wZakresie(opcje.okres, zakresy::okres)
            && wZakresie(opcje.prog, zakresy::prog));
    sprawdz(!opcje.miejscZAdresu || *opcje.miejscZAdresu >= 1);
    sprawdz((!opcje.synch && !opcje.bezOkna) || opcje.start);
    sprawdz(!opcje.podsumowanie || opcje.bezOkna);
}

void klient(const QStringList &argumenty)
{
    Ustawienia u;
    QString tekst;
    const auto polecenie = czytajOpcjeKlienta(argumenty, u, tekst);
    sprawdzTekst(polecenie, tekst);
    if (polecenie != wierszPolecen::Polecenie::Uruchom)
        return;
    sprawdz(u.port >= 1 && u.liczba >= 1 && u.wymiany >= 0 && !u.host.isEmpty());
    sprawdz(!u.systemowy || u.liczba == 1);
    const PolitykaKorekty &p = u.polityka;
    sprawdz(p.progSkokuMs >= 0 && p.maksKorektaMs >= 0 && p.skokowNaStarcie >= 0);
    sprawdz(p.maksNaGodzineMs > 0 && p.maksNaGodzineMs <= 86'400'000);
    sprawdz(p.szybkaZbieznosc || p.maksNaGodzineMs <= plynnieNaGodzineMs);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication aplikacja(*argc, *argv);
    // Removed when the run ends, so that runs leave nothing in the temporary folder.
    static QTemporaryDir katalog(QDir::temp().filePath(QStringLiteral("fuzz_opcje-XXXXXX")));
    plikUstawien = katalog.filePath(QStringLiteral("ustawienia.conf"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *dane, size_t rozmiar)
{
    if (rozmiar < 1)
        return 0;
    const int co = dane[0] % 4;
    const QByteArray reszta(reinterpret_cast<const char *>(dane + 1), qsizetype(rozmiar - 1));
    QStringList argumenty {co % 2 == 0 ? QStringLiteral("serwer-synchronizacji")
                                       : QStringLiteral("klient-synchronizacji")};
    if (co < 2) {
        for (const QByteArray &argument : reszta.split('\0'))
            argumenty << QString::fromUtf8(argument);
        argumenty.removeLast(); // what follows the last NUL is not an argument
    } else {
        QFile plik(plikUstawien);
        sprawdz(plik.open(QIODevice::WriteOnly | QIODevice::Truncate));
        sprawdz(plik.write(reszta) == reszta.size());
        plik.close();
        argumenty << QStringLiteral("--ustawienia") << plikUstawien;
    }
    if (co % 2 == 0)
        serwer(argumenty);
    else
        klient(argumenty);
    return 0;
}
