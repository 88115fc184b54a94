#include "zapisDziennika.h"

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

bool ZapisDziennika::otworz(const QString &sciezka, QString &blad)
{
    this->sciezka = sciezka;
    plik.setFileName(sciezka);
    if (!plik.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        blad = plik.errorString();
        return false;
    }
    return true;
}

bool ZapisDziennika::otworzWyjscie()
{
    sciezka.clear();
    // The descriptor, not the stdio stream, whose buffer would hold the
    // lines back from a pipe.
    return plik.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
}

void ZapisDziennika::dopisz(QLatin1String okno, QDate data, const QString &linia)
{
    if (bufor.isEmpty())
        QMetaObject::invokeMethod(this, &ZapisDziennika::zapisz, Qt::QueuedConnection);
    if (data != ostatniaData) {
        ostatniaData = data;
        ostatniaDataTekst = data.toString(Qt::ISODate).toLatin1();
    }
    bufor += '[' + QByteArray(okno.data(), okno.size()) + "] " + ostatniaDataTekst + ' '
        + linia.toUtf8() + '\n';
}

void ZapisDziennika::zapisz()
{
    if (bufor.isEmpty())
        return;
    if (przeniesiony())
        otworzNaNowo(); // lines written after the move belong to the new file
    plik.write(bufor);
    bufor.clear();
}

void ZapisDziennika::otworzPonownie()
{
    if (sciezka.isEmpty())
        return;
    plik.write(bufor); // what came before belongs to the old file
    bufor.clear();
    otworzNaNowo();
}

void ZapisDziennika::otworzNaNowo()
{
    plik.close();
    QString blad;
    if (!otworz(sciezka, blad))
        std::fprintf(stderr, "serwer-synchronizacji: %s: %s\n", qPrintable(sciezka),
                     qPrintable(blad));
}

bool ZapisDziennika::przeniesiony() const
{
#ifdef Q_OS_UNIX
    if (sciezka.isEmpty() || !plik.isOpen())
        return false;
    struct stat otwarty
    {
    };
    struct stat podNazwa
    {
    };
    if (fstat(plik.handle(), &otwarty) != 0)
        return false;
    return stat(QFile::encodeName(sciezka).constData(), &podNazwa) != 0
        || podNazwa.st_ino != otwarty.st_ino || podNazwa.st_dev != otwarty.st_dev;
#else
    return false;
#endif
}
