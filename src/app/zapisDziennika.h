#ifndef ZAPISDZIENNIKA_H
#define ZAPISDZIENNIKA_H

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QObject>
#include <QString>

// Every log line of both panes, in the order written, appended to a file or
// to standard output as "[pane] date line". Lines of one pass of the event
// loop are written together at its end, so a crash loses at most that pass.
// A file that was moved away (log rotation) is opened again at its name;
// one truncated in place is appended to at its new end.
class ZapisDziennika : public QObject
{
public:
    // False, with the reason in `blad`, when the file cannot be opened.
    bool otworz(const QString &sciezka, QString &blad);
    bool otworzWyjscie();
    bool otwarty() const { return plik.isOpen(); }

    void dopisz(QLatin1String okno, QDate data, const QString &linia);
    // Writes what has been added, at once.
    void zapisz();
    // After the file was rotated: from now on, a new file at the same name.
    void otworzPonownie();

private:
    bool przeniesiony() const;
    void otworzNaNowo();

    QFile plik;
    QString sciezka; // empty for standard output
    QByteArray bufor;
    QDate ostatniaData;
    QByteArray ostatniaDataTekst;
};

#endif // ZAPISDZIENNIKA_H
