#include "tabelaKlientow.h"

#include "dziennik.h"
#include "sync/berkeley.h"

#include <QApplication>
#include <QFont>
#include <QHostAddress>
#include <QStyle>

#include <limits>

namespace {
// Rejected, silent or not taking the agreed times: the rows that stand out.
bool wyrozniony(WynikWymiany wynik)
{
    return wynik == WynikWymiany::Odrzucony || wynik == WynikWymiany::Milczal
        || wynik == WynikWymiany::NiePrzyjmuje;
}
} // namespace

bool zProblemem(const WierszKlienta &w)
{
    return wyrozniony(w.wynik)
        || (w.maOdleglosc && qAbs(dziesiate(w.odUzgodnionegoMs)) >= zgodnoscMs / 100);
}

qint64 wagaKlienta(const WierszKlienta &w)
{
    constexpr qint64 milczacy = qint64(1) << 40; // beyond any distance in ms
    if (w.wynik == WynikWymiany::Milczal)
        return milczacy + w.milczalZRzedu;
    if (w.maOdleglosc)
        return qAbs(qint64(w.odUzgodnionegoMs));
    return w.maRoznice ? qAbs(qint64(w.roznicaMs)) : -1;
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
        return QStringLiteral("poza średnią (po %1)").arg(pojemnoscWymiany - 1);
    case WynikWymiany::ZTegoAdresu:
        return QStringLiteral("poza średnią (ten sam adres)");
    case WynikWymiany::NiePrzyjmuje:
        return QStringLiteral("nie przyjmuje czasu");
    case WynikWymiany::BezCzasu:
        return QStringLiteral("bez czasu");
    case WynikWymiany::Milczal:
        return QStringLiteral("milczy");
    }
    return QString();
}

QString objasnienieWyniku(WynikWymiany wynik)
{
    switch (wynik) {
    case WynikWymiany::Brak:
        return QStringLiteral("Jeszcze nie pytany w żadnej wymianie.");
    case WynikWymiany::Uwzgledniony:
        return QStringLiteral("Jego różnica weszła do średniej, która dała czas uzgodniony.");
    case WynikWymiany::Odrzucony:
        return QStringLiteral("Jego różnica od zegara serwera przekroczyła czas odrzucenia: "
                              "nie weszła do średniej. Dostał czas uzgodniony jak wszyscy.");
    case WynikWymiany::PozaLimitem:
        return QStringLiteral("Średnia obejmuje pierwsze %1 odpowiedzi wymiany, a ta przyszła "
                              "później. To zwykłe, gdy klientów jest więcej: kto trafi do "
                              "średniej, zależy od kolejności odpowiedzi. Czas uzgodniony "
                              "dostał jak wszyscy.")
            .arg(pojemnoscWymiany - 1);
    case WynikWymiany::ZTegoAdresu:
        return QStringLiteral("Z jego adresu uśredniono już tyle odpowiedzi, ile wolno "
                              "(--miejsc-z-adresu), żeby jeden adres nie przegłosował innych. "
                              "Czas uzgodniony dostał jak wszyscy.");
    case WynikWymiany::NiePrzyjmuje:
        return QStringLiteral("Jego zegar jest daleko od czasu uzgodnionego, który dostał: nie "
                              "przyjmuje go (tylko mierzy, zmienia zegar powoli albo stoi). "
                              "Dopóki go nie przyjmie, nie jest uśredniany, żeby nie ciągnął "
                              "za sobą pozostałych.");
    case WynikWymiany::BezCzasu:
        return QStringLiteral("Odpowiedział bez czasu (kod 0 lub czas spoza doby): liczy się "
                              "jako odpowiedź, ale nie ma czego uśrednić.");
    case WynikWymiany::Milczal:
        return QStringLiteral("Pytany, nie odpowiedział (zawieszony program, uśpiona lub "
                              "odłączona maszyna).");
    }
    return QString();
}

QString sekundyZeZnakiem(qint64 s)
{
    return QStringLiteral("%1%2 s").arg(s > 0 ? QStringLiteral("+") : QString()).arg(s);
}

namespace {
// "-2.0": the table's own columns, in tenths of a second.
QString dziesiateTekstem(qint64 ms)
{
    const qint64 d = dziesiate(ms);
    return QStringLiteral("%1%2.%3")
        .arg(d < 0 ? QStringLiteral("-") : QString())
        .arg(qAbs(d) / 10)
        .arg(qAbs(d) % 10);
}

QString sekundy(bool jest, qint32 ms)
{
    return jest ? dziesiateZeZnakiem(ms) : QStringLiteral("—");
}
} // namespace

QString dziesiateZeZnakiem(qint64 ms)
{
    return (dziesiate(ms) > 0 ? QStringLiteral("+") : QString()) + dziesiateTekstem(ms)
        + QStringLiteral(" s");
}

QString opisKlienta(const WierszKlienta &w)
{
    return opisAdresu(w.adres, w.port)
        + (w.nr > 0 ? QStringLiteral(" - nr %1").arg(w.nr) : QString())
        + QStringLiteral(" - od %1 - od uzgodnionego: %2, od zegara serwera: %3 - %4, bez "
                         "odpowiedzi z rzędu: %5")
              .arg(godzina(w.od), sekundy(w.maOdleglosc, w.odUzgodnionegoMs),
                   sekundy(w.maRoznice, w.roznicaMs), opisWyniku(w.wynik))
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
    const bool zle = wyrozniony(w.wynik);
    switch (rola) {
    case Qt::TextAlignmentRole:
        return indeks.column() == Adres || indeks.column() == Wynik
            ? int(Qt::AlignLeft | Qt::AlignVCenter)
            : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        return objasnienieWyniku(w.wynik);
    // Bold and a warning sign, not a colour: any palette, a dark one too,
    // keeps them readable.
    case Qt::FontRole:
        if (zle) {
            QFont pogrubiona;
            pogrubiona.setBold(true);
            return pogrubiona;
        }
        return QVariant();
    case Qt::DecorationRole:
        if (zle && indeks.column() == Wynik && qApp)
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        return QVariant();
    case Qt::DisplayRole:
        break;
    default:
        return QVariant();
    }
    switch (indeks.column()) {
    case Numer:
        return w.nr > 0 ? QVariant(w.nr) : QVariant(QStringLiteral("—"));
    case Adres:
        return QHostAddress(w.adres).toString();
    case Port:
        return w.port;
    case Od:
        return godzina(w.od);
    case Roznica:
        return w.maRoznice ? dziesiateTekstem(w.roznicaMs) : QStringLiteral("—");
    case OdUzgodnionego:
        return w.maOdleglosc ? dziesiateTekstem(w.odUzgodnionegoMs) : QStringLiteral("—");
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
    case Numer:
        return w.nr;
    case Adres:
        return (qint64(w.adres) << 16) | w.port;
    case Port:
        return w.port;
    case Od:
        return w.od.msecsSinceStartOfDay();
    case Roznica:
        return w.maRoznice ? qint64(w.roznicaMs) : std::numeric_limits<qint64>::min();
    case OdUzgodnionego:
        return w.maOdleglosc ? qint64(w.odUzgodnionegoMs) : std::numeric_limits<qint64>::min();
    case Wynik:
        return wagaKlienta(w);
    case Milczal:
        return w.milczalZRzedu;
    }
    return 0;
}

QVariant ModelKlientow::headerData(int sekcja, Qt::Orientation kierunek, int rola) const
{
    if (kierunek != Qt::Horizontal || rola != Qt::DisplayRole)
        return QAbstractTableModel::headerData(sekcja, kierunek, rola);
    static const char *const naglowki[Kolumn] = {"Nr",
                                                 "Adres",
                                                 "Port",
                                                 "Połączony od",
                                                 "Różnica [s]",
                                                 "Od uzgodnionego [s]",
                                                 "Ostatnia wymiana",
                                                 "Bez odpowiedzi"};
    return sekcja >= 0 && sekcja < Kolumn ? QString::fromUtf8(naglowki[sekcja]) : QVariant();
}

void SortowanieKlientow::tylkoZProblemem(bool wlaczone)
{
    tylko = wlaczone;
    invalidateFilter();
}

bool SortowanieKlientow::lessThan(const QModelIndex &lewy, const QModelIndex &prawy) const
{
    const auto *model = static_cast<const ModelKlientow *>(sourceModel());
    return model->klucz(lewy.row(), lewy.column()) < model->klucz(prawy.row(), prawy.column());
}

bool SortowanieKlientow::filterAcceptsRow(int wiersz, const QModelIndex &) const
{
    return !tylko || zProblemem(static_cast<const ModelKlientow *>(sourceModel())->wiersz(wiersz));
}

QString tekstWierszy(const QAbstractItemModel &model, const QList<int> &wiersze)
{
    QStringList linie;
    QStringList pola;
    for (int k = 0; k < model.columnCount(); ++k)
        pola << model.headerData(k, Qt::Horizontal).toString();
    linie << pola.join(QLatin1Char('\t'));
    for (int w : wiersze) {
        pola.clear();
        for (int k = 0; k < model.columnCount(); ++k)
            pola << model.index(w, k).data().toString();
        linie << pola.join(QLatin1Char('\t'));
    }
    return linie.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
