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
    Milczal, // asked, and did not answer
};

// One connected client as the operator sees it.
struct WierszKlienta
{
    quint32 adres = 0;
    quint16 port = 0;
    QTime od; // the server clock when it connected
    qint32 roznica = 0; // of its last reply, in seconds
    bool maRoznice = false;
    WynikWymiany wynik = WynikWymiany::Brak;
    int milczalZRzedu = 0; // exchanges in a row it was asked and kept silent
};

// How bad a client looks, for "the worst first": silent ones first, the
// longer the worse, then rejected ones, then the rest by how far off they
// are.
qint64 wagaKlienta(const WierszKlienta &wiersz);

// "uwzględniony", "milczy", …
QString opisWyniku(WynikWymiany wynik);

// One line of a client, as the service's status writes it.
QString opisKlienta(const WierszKlienta &wiersz);

// The clients, a row each, for the window's table. It is given all rows at
// once, when the registry or an exchange has changed them, not as each line
// is logged: ten thousand clients cost one reset, not ten thousand.
class ModelKlientow : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Kolumna { Adres, Port, Od, Roznica, Wynik, Milczal, Kolumn };

    using QAbstractTableModel::QAbstractTableModel;
    void ustaw(std::vector<WierszKlienta> nowe);
    // The key a column sorts by, without a QVariant: ten thousand rows sort
    // in a few milliseconds.
    qint64 klucz(int wiersz, int kolumna) const;

    int rowCount(const QModelIndex &rodzic = QModelIndex()) const override;
    int columnCount(const QModelIndex &rodzic = QModelIndex()) const override;
    QVariant data(const QModelIndex &indeks, int rola = Qt::DisplayRole) const override;
    QVariant headerData(int sekcja, Qt::Orientation kierunek,
                        int rola = Qt::DisplayRole) const override;

private:
    std::vector<WierszKlienta> wiersze;
};

// Sorts the clients by ModelKlientow::klucz().
class SortowanieKlientow : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &lewy, const QModelIndex &prawy) const override;
};

#endif // TABELAKLIENTOW_H
