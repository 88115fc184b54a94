#ifndef TABELAKLIENTOW_H
#define TABELAKLIENTOW_H

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QTime>

#include <vector>

// What the last exchange made of a client's reply.
enum class WynikWymiany : quint8 {
    Brak, // not asked yet, or it came after the request
    Uwzgledniony, // its difference was averaged
    Odrzucony, // beyond the threshold
    PozaLimitem, // it came after the 29 that are averaged
    ZTegoAdresu, // its address already filled the places it may take in the average
    NiePrzyjmuje, // far from the agreed time it was sent: not averaged until it takes one
    BezCzasu, // it answered with no usable time
    Milczal, // asked, and did not answer
};

// One connected client as the operator sees it.
struct WierszKlienta
{
    quint32 adres = 0;
    quint16 port = 0;
    QTime od; // the server clock when it connected
    qint32 nr = 0; // its reply's ordinal in the last exchange it answered in, as the panes say
    qint32 roznicaMs = 0; // of its last reply from the server clock
    bool maRoznice = false;
    // How far its last reply was from the agreed time it had been sent (or,
    // sent none yet, from the one of that exchange): what it is off from
    // the group, however the agreement moves.
    qint32 odUzgodnionegoMs = 0;
    bool maOdleglosc = false;
    WynikWymiany wynik = WynikWymiany::Brak;
    int milczalZRzedu = 0; // exchanges in a row it was asked and kept silent
};

// Rejected, silent, not taking the agreed times, or far from the agreed
// time (zgodnoscMs, in tenths of a second as the table shows it).
bool zProblemem(const WierszKlienta &wiersz);

// How bad a client looks, for "the worst first": silent ones first, the
// longer the worse, then the rest by how far they are from the agreed time
// (by how far from the server clock, while they have no agreed time).
qint64 wagaKlienta(const WierszKlienta &wiersz);

// "uśredniony", "milczy", …, and what it means, for a tooltip.
QString opisWyniku(WynikWymiany wynik);
QString objasnienieWyniku(WynikWymiany wynik);

// "+3 s", "-1100 s", "0 s".
QString sekundyZeZnakiem(qint64 s);
// Milliseconds as tenths of a second: "+1.2 s", "-2.0 s", "0.0 s".
QString dziesiateZeZnakiem(qint64 ms);

// One line of a client, as the service's status writes it.
QString opisKlienta(const WierszKlienta &wiersz);

// The clients, a row each, for the window's table. It is given all rows at
// once, when the registry or an exchange has changed them, not as each line
// is logged: ten thousand clients cost one reset, not ten thousand.
class ModelKlientow : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Kolumna { Numer, Adres, Port, Od, Roznica, OdUzgodnionego, Wynik, Milczal, Kolumn };

    using QAbstractTableModel::QAbstractTableModel;
    void ustaw(std::vector<WierszKlienta> nowe);
    const WierszKlienta &wiersz(int i) const { return wiersze[std::size_t(i)]; }
    // The key a column sorts by, without a QVariant: ten thousand rows sort
    // in a few milliseconds. That of Adres names the connection.
    qint64 klucz(int wiersz, int kolumna) const;

    int rowCount(const QModelIndex &rodzic = QModelIndex()) const override;
    int columnCount(const QModelIndex &rodzic = QModelIndex()) const override;
    QVariant data(const QModelIndex &indeks, int rola = Qt::DisplayRole) const override;
    QVariant headerData(int sekcja, Qt::Orientation kierunek,
                        int rola = Qt::DisplayRole) const override;

private:
    std::vector<WierszKlienta> wiersze;
};

// Sorts the clients by ModelKlientow::klucz(), and shows all of them or only
// those with a problem.
class SortowanieKlientow : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void tylkoZProblemem(bool wlaczone);

protected:
    bool lessThan(const QModelIndex &lewy, const QModelIndex &prawy) const override;
    bool filterAcceptsRow(int wiersz, const QModelIndex &rodzic) const override;

private:
    bool tylko = false;
};

// The rows given, as the model shows them, as tab-separated text with the
// header first: what a spreadsheet takes from the clipboard.
QString tekstWierszy(const QAbstractItemModel &model, const QList<int> &wiersze);

#endif // TABELAKLIENTOW_H
