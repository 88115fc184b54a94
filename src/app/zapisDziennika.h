#ifndef ZAPISDZIENNIKA_H
#define ZAPISDZIENNIKA_H

#include "waga.h"

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

// Every log line of both panes, in the order written, appended to a file or
// to standard output as "[pane] date time line"; to the journal as
// "<level>[pane] time line", as the journal dates its lines itself. Lines of one pass of the
// event loop are written together at its end, so a crash loses at most that
// pass. A file that was moved away or deleted (log rotation) is opened again
// at its name; one truncated in place is appended to at its new end.
//
// A line goes into the file whole or not at all. When the file cannot be
// written (a full disk, its folder gone), that is said once on standard
// error, and the lines wait in memory, up to a bound, while writing is tried
// again once a second; what did not fit is counted in one line of the file
// once writing works again. Standard output that cannot be written to (its
// reader gone) is given up, with one line on standard error.
class ZapisDziennika : public QObject
{
public:
    ZapisDziennika();

    // False, with the reason in `blad`, when the file cannot be opened.
    bool otworz(const QString &nazwaPliku, QString &blad);
    bool otworzWyjscie();
    // Whether lines are taken.
    bool czynny() const { return wlaczony; }

    // `linia` begins with its time of day.
    void dopisz(QLatin1String okno, QDate data, const QString &linia, usluga::Waga waga);
    // Writes what is waiting, at once.
    void zapisz();
    // After the file was rotated: from now on, a new file at the same name.
    void otworzPonownie();

    // Lines held while the file cannot be written, at most.
    static constexpr qsizetype maksOczekujacych = 10'000;
    static constexpr qsizetype maksOczekujacychBajtow = 4 * 1024 * 1024;

private:
    bool przeniesiony() const;
    bool otworzNaNowo();
    bool wypisz(QByteArray &dane, QString &powod);
    void zawiodlo(const QString &powod);
    QString nazwa() const;

    QFile plik;
    QString sciezka; // empty for standard output
    bool wlaczony = false;
    bool dziennikSystemu = false; // standard output is systemd's journal
    QByteArray oczekujace; // whole lines
    qsizetype liniiOczekujacych = 0;
    qint64 pominietych = 0; // lines that found no room while writing failed
    bool zawodzi = false; // the last write or opening failed, and it was said
    QTimer ponowienie;
    QDate ostatniaData;
    QByteArray ostatniaDataTekst;
};

#endif // ZAPISDZIENNIKA_H
