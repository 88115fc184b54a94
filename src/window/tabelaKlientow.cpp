#include "tabelaKlientow.h"

#include "dziennik.h"

#include <QHostAddress>

#include <limits>

qint64 wagaKlienta(const WierszKlienta &w)
{
    constexpr qint64 milczacy = 1'000'000'000, odrzucony = 100'000'000;
    if (w.wynik == WynikWymiany::Milczal)
        return milczacy + w.milczalZRzedu;
    const qint64 odleglosc = w.maRoznice ? qAbs(qint64(w.roznica)) : -1;
    return w.wynik == WynikWymiany::Odrzucony ? odrzucony + odleglosc : odleglosc;
}

QString opisWyniku(WynikWymiany wynik)
{
    switch (wynik) {
    case WynikWymiany::Brak:
        return QStringLiteral("—");
    case WynikWymiany::Uwzgledniony:
        return QStringLiteral("uśredniony");
    case WynikWymiany::Odrzucony:
        return QStringLiteral("odrzucony (próg)");
    case WynikWymiany::PozaLimitem:
        return QStringLiteral("pominięty (po 29)");
    case WynikWymiany::Milczal:
        return QStringLiteral("milczy");
    }
    return QString();
}

QString opisKlienta(const WierszKlienta &w)
{
    return opisAdresu(w.adres, w.port)
        + QStringLiteral(" - od %1 - różnica: %2 - %3, bez odpowiedzi z rzędu: %4")
              .arg(godzina(w.od),
                   w.maRoznice ? QStringLiteral("%1s").arg(w.roznica) : QStringLiteral("—"),
                   opisWyniku(w.wynik))
              .arg(w.milczalZRzedu);
}

void ModelKlientow::ustaw(std::vector<WierszKlienta> nowe)
{
    beginResetModel();
    wiersze = std::move(nowe);
    endResetModel();
}

int ModelKlientow::rowCount(const QModelIndex &rodzic) const
{
    return rodzic.isValid() ? 0 : int(wiersze.size());
}

int ModelKlientow::columnCount(const QModelIndex &rodzic) const
{
    return rodzic.isValid() ? 0 : Kolumn;
}

QVariant ModelKlientow::data(const QModelIndex &indeks, int rola) const
{
    if (!indeks.isValid() || indeks.row() >= rowCount())
        return QVariant();
    const WierszKlienta &w = wiersze[std::size_t(indeks.row())];
    if (rola == Qt::TextAlignmentRole && indeks.column() != Adres && indeks.column() != Wynik)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (rola != Qt::DisplayRole)
        return QVariant();
    switch (indeks.column()) {
    case Adres:
        return QHostAddress(w.adres).toString();
    case Port:
        return w.port;
    case Od:
        return godzina(w.od);
    case Roznica:
        return w.maRoznice ? QVariant(w.roznica) : QVariant(QStringLiteral("—"));
    case Wynik:
        return opisWyniku(w.wynik);
    case Milczal:
        return w.milczalZRzedu;
    }
    return QVariant();
}

// Numbers where the text would sort wrong ("10.0.0.10" before "10.0.0.9").
qint64 ModelKlientow::klucz(int wiersz, int kolumna) const
{
    const WierszKlienta &w = wiersze[std::size_t(wiersz)];
    switch (kolumna) {
    case Adres:
        return (qint64(w.adres) << 16) | w.port;
    case Port:
        return w.port;
    case Od:
        return w.od.msecsSinceStartOfDay();
    case Roznica:
        return w.maRoznice ? qint64(w.roznica) : std::numeric_limits<qint64>::min();
    case Wynik:
        return wagaKlienta(w);
    case Milczal:
        return w.milczalZRzedu;
    }
    return 0;
}

bool SortowanieKlientow::lessThan(const QModelIndex &lewy, const QModelIndex &prawy) const
{
    const auto *model = static_cast<const ModelKlientow *>(sourceModel());
    return model->klucz(lewy.row(), lewy.column()) < model->klucz(prawy.row(), prawy.column());
}

QVariant ModelKlientow::headerData(int sekcja, Qt::Orientation kierunek, int rola) const
{
    if (kierunek != Qt::Horizontal || rola != Qt::DisplayRole)
        return QAbstractTableModel::headerData(sekcja, kierunek, rola);
    static const char *const naglowki[Kolumn]
        = {"Adres", "Port", "Połączony od", "Różnica [s]", "Ostatnia wymiana", "Bez odpowiedzi"};
    return sekcja >= 0 && sekcja < Kolumn ? QString::fromUtf8(naglowki[sekcja]) : QVariant();
}
