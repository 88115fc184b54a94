#ifndef DOSTEP_H
#define DOSTEP_H

#include <QHash>
#include <QList>
#include <QString>

#include <utility>

// Who may take part: the IPv4 networks connections are taken from, and how
// many connections one address may hold at once. By default everyone may,
// with no cap.
class Dostep
{
public:
    // "10.0.0.0/8,192.168.1.7": networks with a prefix length, or single
    // addresses, written out in full. False, with the reason in `blad`, when
    // one is anything else, or the list or an item of it is empty: a
    // mistake must not let everyone in. Everyone is "0.0.0.0/0".
    bool ustawSieci(const QString &lista, QString &blad);
    void ustawMaksZAdresu(int maks) { maksZAdresu = maks; } // 0: no cap

    enum class Decyzja {
        Przyjete,
        SpozaSieci, // not in any of the networks
        PonadLimit, // the address holds as many connections as it may
    };
    Decyzja sprawdz(quint32 adres) const;

    // The connections each address holds, as they come and go.
    void dodaj(quint32 adres) { ++polaczen[adres]; }
    void usun(quint32 adres);

private:
    QList<std::pair<quint32, quint32>> sieci; // address and mask
    int maksZAdresu = 0;
    QHash<quint32, int> polaczen;
};

#endif // DOSTEP_H
