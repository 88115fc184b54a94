// The benchmark: the real server window in its own process (serwerPomiarowy),
// `klient-synchronizacji` processes as its peers, and a minimal POSIX server (bazowy) as the
// baseline, all on loopback. Prints a table, or JSON with --json.

#include "narzedzia/narzedzia.h"
#include "sync/termin.h"
#include "window/dziennik.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

QTextStream wyjscie(stdout);

// Thrown, so that every child process is ended on the way out.
[[noreturn]] void porazka(const QString &tresc)
{
    throw std::runtime_error(tresc.toStdString());
}

// A child process spoken to in lines.
class Proces
{
public:
    Proces(const QString &program, const QStringList &argumenty, bool czytajWyjscie = true,
           const QString &petla = QString())
    {
        proces.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        if (!petla.isEmpty()) {
            QProcessEnvironment srodowisko = QProcessEnvironment::systemEnvironment();
            srodowisko.insert(QStringLiteral("SERWER_PETLA"), petla);
            proces.setProcessEnvironment(srodowisko);
        }
        if (!czytajWyjscie)
            proces.setStandardOutputFile(QProcess::nullDevice());
        proces.start(program, argumenty);
        if (!proces.waitForStarted(10000))
            porazka(QStringLiteral("nie uruchomiono %1").arg(program));
    }
    ~Proces()
    {
        proces.kill();
        proces.waitForFinished(10000);
    }

    QStringList linia(int ms = 120000)
    {
        while (!proces.canReadLine())
            if (!proces.waitForReadyRead(ms))
                porazka(QStringLiteral("brak odpowiedzi od %1").arg(proces.program()));
        return QString::fromUtf8(proces.readLine()).simplified().split(QLatin1Char(' '));
    }

    // The next line that starts with `slowo`, skipping others.
    QStringList linia(const QString &slowo, int ms = 120000)
    {
        for (;;) {
            const QStringList l = linia(ms);
            if (l.value(0) == slowo)
                return l;
        }
    }

    // Every whole line there is now, without waiting for more.
    QList<QStringList> dostepne()
    {
        proces.waitForReadyRead(0);
        QList<QStringList> linie;
        while (proces.canReadLine())
            linie << QString::fromUtf8(proces.readLine()).simplified().split(QLatin1Char(' '));
        return linie;
    }

    QStringList polecenie(const QString &tresc, const QString &odpowiedz)
    {
        proces.write(tresc.toUtf8() + '\n');
        proces.waitForBytesWritten();
        return linia(odpowiedz);
    }

private:
    QProcess proces;
};

struct Sciezki
{
    QString serwer = QStringLiteral(SERWER_POMIAROWY); // --serwer gives another build's
    QString bazowy = QStringLiteral(BAZOWY);
    QString klient = QStringLiteral(KLIENT);
    QString burza = QStringLiteral(BURZA);
};
Sciezki sciezki;

// The server window in a process of its own; with `deskryptorow`, allowed
// no more open files than that.
std::unique_ptr<Proces> serwer(quint16 port, int deskryptorow = 0)
{
    auto s = deskryptorow > 0 ? std::make_unique<Proces>(
                 QStringLiteral("prlimit"),
                 QStringList {QStringLiteral("--nofile=%1").arg(deskryptorow), sciezki.serwer})
                              : std::make_unique<Proces>(sciezki.serwer, QStringList {});
    s->linia(QStringLiteral("gotowy"));
    s->polecenie(QStringLiteral("start %1").arg(port), QStringLiteral("ok"));
    return s;
}

// The server as its service runs it, without a window, on `petla`: "epoll"
// (the programs' own) or "qt".
std::unique_ptr<Proces> usluga(quint16 port, const QString &petla)
{
    auto s = std::make_unique<Proces>(sciezki.serwer, QStringList {QStringLiteral("--bez-okna")},
                                      true, petla);
    s->linia(QStringLiteral("gotowy"));
    s->polecenie(QStringLiteral("start %1").arg(port), QStringLiteral("ok"));
    return s;
}

// The peers: klient processes of at most 2500 connections each, as clients
// spread over machines would be.
class Klienci
{
public:
    static constexpr int naProces = 2500;

    Klienci(quint16 port, int ile, bool czasy)
    {
        for (int poczatek = 0; poczatek < ile; poczatek += naProces) {
            QStringList argumenty {
                QStringLiteral("--port"),   QString::number(port),
                QStringLiteral("--count"),  QString::number(std::min(naProces, ile - poczatek)),
                QStringLiteral("--spread"), QStringLiteral("30"),
                QStringLiteral("--seed"),   QString::number(1 + poczatek),
                QStringLiteral("-q")};
            if (czasy)
                argumenty << QStringLiteral("--timing");
            procesy.push_back(std::make_unique<Proces>(sciezki.klient, argumenty, czasy));
        }
    }

    // The "czasy" line of the next exchange of the first process.
    QStringList linia(int ms = 120000)
    {
        return procesy.front()->linia(QStringLiteral("czasy"), ms);
    }
    QList<QStringList> dostepne() { return procesy.front()->dostepne(); }
    QList<QStringList> wszystkieDostepne()
    {
        QList<QStringList> linie;
        for (const auto &p : procesy)
            linie << p->dostepne();
        return linie;
    }

    // Of the next exchange, over all processes: the steady-clock time the
    // last agreed time was received, and how much staler it came to the
    // last client than to the first (ms), by how far ahead of the system
    // clock it was when it came.
    std::pair<qint64, qint64> ostatniWynik()
    {
        qint64 ostatni = 0;
        qint64 przedMin = std::numeric_limits<qint64>::max();
        qint64 przedMax = std::numeric_limits<qint64>::min();
        for (const auto &p : procesy) {
            const QStringList c = p->linia(QStringLiteral("czasy"));
            ostatni = std::max(ostatni, c[2].toLongLong());
            przedMin = std::min(przedMin, c.value(5).toLongLong());
            przedMax = std::max(przedMax, c.value(6).toLongLong());
        }
        return {ostatni, przedMax - przedMin};
    }

private:
    std::vector<std::unique_ptr<Proces>> procesy;
};

std::unique_ptr<Klienci> klienci(quint16 port, int ile, bool czasy)
{
    return std::make_unique<Klienci>(port, ile, czasy);
}

double mediana(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0
        : v.size() % 2 ? v[v.size() / 2]
                       : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double najwieksza(const QList<double> &v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

constexpr int wymianPomiaru = 5;

// Press to the last agreed time received, over the exchanges after a
// warm-up, for a server spoken to in lines: ours or the baseline.
QList<double> wymiany(Proces &s, Klienci &k, QList<double> *cpu = nullptr,
                      QStringList *konce = nullptr, QList<double> *przestoje = nullptr,
                      QList<double> *stalosci = nullptr)
{
    QList<double> opoznienia;
    for (int i = 0; i <= wymianPomiaru; ++i) {
        const QStringList w = s.polecenie(QStringLiteral("teraz"), QStringLiteral("wynik"));
        const auto [ostatni, stalosc] = k.ostatniWynik();
        if (i == 0)
            continue; // warm-up
        opoznienia << (ostatni - w[1].toLongLong()) / 1e6;
        if (stalosci)
            *stalosci << double(stalosc);
        if (cpu)
            *cpu << w[4].toLongLong() / 1e6;
        if (konce)
            *konce << w[3];
        if (przestoje)
            *przestoje << s.polecenie(QStringLiteral("przestoj"), QStringLiteral("przestoj"))[1]
                              .toDouble();
    }
    return opoznienia;
}

// The baseline's latency at `n` clients, with poll() and with epoll.
QJsonObject bazoweWymiany(int n)
{
    QJsonObject bazowe;
    for (const QString &sposob : {QStringLiteral("poll"), QStringLiteral("epoll")}) {
        const quint16 port = wolnyPort();
        Proces b(sciezki.bazowy, {QString::number(port), QString::number(n), sposob});
        b.linia(QStringLiteral("gotowy"));
        auto k = klienci(port, n, true);
        b.linia(QStringLiteral("klienci"));
        bazowe[sposob] = mediana(wymiany(b, *k));
    }
    return bazowe;
}

// The server as its service runs it, on Qt's loop and on the programs' own:
// with many clients connected and synchronization on at the default period,
// its processor time over `sekund` (the idle cost, which should not grow with
// the clients), then exchanges at once as in the latency table, against the
// baselines measured here too.
QJsonArray uslugi(bool krotko)
{
    QJsonArray tabela;
    QList<int> liczby {1000};
    if (!krotko)
        liczby << 5000 << 10000;
    const int sekund = krotko ? 20 : 120;
    for (int n : liczby) {
        const QJsonObject bazowe = bazoweWymiany(n);
        const double szybszy = std::min(bazowe[QStringLiteral("poll")].toDouble(),
                                        bazowe[QStringLiteral("epoll")].toDouble());
        for (const QString &petla : {QStringLiteral("qt"), QStringLiteral("epoll")}) {
            const quint16 port = wolnyPort();
            auto s = usluga(port, petla);
            auto k = klienci(port, n, true);
            s->polecenie(QStringLiteral("klienci %1").arg(n), QStringLiteral("klienci"));
            const auto cpu = [&] {
                return s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"))[3].toLongLong();
            };
            const qint64 przed = cpu();
            const qint64 start = monotonicznyNs();
            std::this_thread::sleep_for(std::chrono::seconds(sekund));
            const double bezczynny
                = 100.0 * double(cpu() - przed) / double(monotonicznyNs() - start);
            // No periodic exchange among those measured: their lines are
            // read, once the last has surely ended.
            s->polecenie(QStringLiteral("okres 500"), QStringLiteral("ok"));
            std::this_thread::sleep_for(std::chrono::seconds(2));
            for (const auto &p : k->wszystkieDostepne())
                Q_UNUSED(p);
            s->polecenie(QStringLiteral("przestoj"), QStringLiteral("przestoj"));
            QList<double> czasy, cpuWymiany, przestoje, stalosci;
            QStringList konce;
            czasy = wymiany(*s, *k, &cpuWymiany, &konce, &przestoje, &stalosci);
            konce.removeDuplicates();
            tabela.append(
                QJsonObject {{QStringLiteral("klientow"), n},
                             {QStringLiteral("petla"), petla},
                             {QStringLiteral("bezczynny_cpu_proc"), bezczynny},
                             {QStringLiteral("sekund"), sekund},
                             {QStringLiteral("mediana_ms"), mediana(czasy)},
                             {QStringLiteral("cpu_ms"), mediana(cpuWymiany)},
                             {QStringLiteral("cpu_na_klienta_us"), mediana(cpuWymiany) * 1000 / n},
                             {QStringLiteral("najdluzszy_przebieg_ms"), najwieksza(przestoje)},
                             {QStringLiteral("bazowy_ms"), szybszy},
                             {QStringLiteral("stosunek"), mediana(czasy) / szybszy},
                             {QStringLiteral("stalosc_ms"), mediana(stalosci)},
                             {QStringLiteral("konce"), QJsonArray::fromStringList(konce)}});
        }
    }
    return tabela;
}

// Latency: press to the last agreed time received, ours and the baseline's
// (with poll() and with epoll), and how long the clients took to register.
QJsonArray opoznienia(QJsonObject &wyniki, bool krotko)
{
    QJsonArray tabela;
    QList<int> liczby {1, 29, 100, 1000};
    if (!krotko)
        liczby << 5000 << 10000;
    for (int n : liczby) {
        QList<double> nasze, cpu, przestoje, stalosci;
        QStringList konce;
        double rejestracjaS = 0;
        {
            const quint16 port = wolnyPort();
            auto s = serwer(port);
            const qint64 start = monotonicznyNs();
            auto k = klienci(port, n, true);
            s->polecenie(QStringLiteral("klienci %1").arg(n), QStringLiteral("klienci"));
            rejestracjaS = (monotonicznyNs() - start) / 1e9;
            s->polecenie(QStringLiteral("przestoj"), QStringLiteral("przestoj"));
            nasze = wymiany(*s, *k, &cpu, &konce, &przestoje, &stalosci);
        }
        const QJsonObject bazowe = bazoweWymiany(n);
        const double szybszy = std::min(bazowe[QStringLiteral("poll")].toDouble(),
                                        bazowe[QStringLiteral("epoll")].toDouble());
        QJsonObject wiersz {{QStringLiteral("klientow"), n},
                            {QStringLiteral("rejestracja_s"), rejestracjaS},
                            {QStringLiteral("mediana_ms"), mediana(nasze)},
                            {QStringLiteral("max_ms"), najwieksza(nasze)},
                            {QStringLiteral("cpu_ms"), mediana(cpu)},
                            {QStringLiteral("cpu_na_klienta_us"), mediana(cpu) * 1000 / n},
                            {QStringLiteral("najdluzszy_przebieg_ms"), najwieksza(przestoje)},
                            {QStringLiteral("bazowy_poll_ms"), bazowe[QStringLiteral("poll")]},
                            {QStringLiteral("bazowy_epoll_ms"), bazowe[QStringLiteral("epoll")]},
                            {QStringLiteral("stosunek"), mediana(nasze) / szybszy},
                            {QStringLiteral("stalosc_ms"), mediana(stalosci)},
                            {QStringLiteral("konce"), QJsonArray::fromStringList(konce)}};
        tabela.append(wiersz);
    }
    wyniki[QStringLiteral("opoznienia")] = tabela;
    return tabela;
}

// Full panes: exchanges of 5 000 clients while the upper pane holds its
// 100 000 lines, so that every line in makes one leave: the longest pass of
// the event loop, which must stay under a tick.
QJsonObject pelnePanele(bool krotko)
{
    const int n = krotko ? 1000 : 5000;
    const quint16 port = wolnyPort();
    auto s = serwer(port);
    s->polecenie(QStringLiteral("wypelnij %1").arg(maksLinii), QStringLiteral("ok"));
    auto k = klienci(port, n, true);
    s->polecenie(QStringLiteral("klienci %1").arg(n), QStringLiteral("klienci"));
    s->polecenie(QStringLiteral("przestoj"), QStringLiteral("przestoj"));
    QList<double> cpu, przestoje;
    QStringList konce;
    const QList<double> opoznienia = wymiany(*s, *k, &cpu, &konce, &przestoje);
    return {{QStringLiteral("klientow"), n},
            {QStringLiteral("mediana_ms"), mediana(opoznienia)},
            {QStringLiteral("najdluzszy_przebieg_ms"), najwieksza(przestoje)}};
}

// Drift: the server clock, read from the requests, against the monotonic clock. Only
// periodic requests count: they leave on a tick, while a press lands anywhere
// within the 100 ms between two ticks and its stamp is that much older. A
// request can only arrive late (the clients share the cores with the
// server), so each end of the stretch takes the earliest of its first and
// last three requests.
double dryf(int ile, int sekund)
{
    const quint16 port = wolnyPort();
    auto s = serwer(port);
    s->polecenie(QStringLiteral("okres 10"), QStringLiteral("ok"));
    auto k = klienci(port, ile, true);
    s->polecenie(QStringLiteral("klienci %1").arg(ile), QStringLiteral("klienci"));
    s->polecenie(QStringLiteral("teraz"), QStringLiteral("wynik"));
    k->linia();
    // Steady ms of each request's arrival, and the steady clock minus the
    // server clock it carried.
    QList<std::pair<double, double>> zadania;
    double serwerPoprzedni = -1;
    double przesuniecieDoby = 0;
    do {
        const QStringList l = k->linia(30000);
        const double serwerMs = l[3].toDouble();
        if (serwerPoprzedni >= 0 && serwerMs < serwerPoprzedni - 43'200'000)
            przesuniecieDoby += 86'400'000; // across midnight
        serwerPoprzedni = serwerMs;
        const double steadyMs = l[1].toDouble() / 1e6;
        zadania.append({steadyMs, steadyMs - (serwerMs + przesuniecieDoby)});
    } while (zadania.constLast().first - zadania.constFirst().first < (sekund - 1) * 1000.0);
    const auto najwczesniej = [&zadania](qsizetype od, qsizetype zadan) {
        double wynik = zadania[od].second;
        for (qsizetype i = od; i < od + zadan; ++i)
            wynik = std::min(wynik, zadania[i].second);
        return wynik;
    };
    const qsizetype naKoncu = std::min<qsizetype>(3, zadania.size() / 2);
    const double trwalo = zadania.constLast().first - zadania.constFirst().first;
    return -(najwczesniej(zadania.size() - naKoncu, naKoncu) - najwczesniej(0, naKoncu)) / trwalo
        * 60'000;
}

// Memory: resident memory with 0, 100 and 1000 clients connected.
QJsonObject pamiec(bool krotko)
{
    const quint16 port = wolnyPort();
    auto s = serwer(port);
    const auto rss = [&] {
        return s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"))[2].toLongLong();
    };
    QJsonObject wynik {{QStringLiteral("0"), rss()}};
    QList<int> liczby {100, 1000};
    if (!krotko)
        liczby << 10000;
    for (int n : std::as_const(liczby)) {
        auto k = klienci(port, n, false);
        s->polecenie(QStringLiteral("klienci %1").arg(n), QStringLiteral("klienci"));
        wynik[QString::number(n)] = rss();
        k.reset();
        s->polecenie(QStringLiteral("klienci 0"), QStringLiteral("klienci"));
    }
    wynik[QStringLiteral("na_klienta_kb")] = (wynik[QString::number(liczby.constLast())].toDouble()
                                              - wynik[QStringLiteral("0")].toDouble())
        / liczby.constLast();
    return wynik;
}

// The panes: back-to-back exchanges with 29 clients until they hold many lines.
QJsonArray przyrostDziennika()
{
    const quint16 port = wolnyPort();
    auto s = serwer(port);
    auto k = klienci(port, 29, false);
    s->polecenie(QStringLiteral("klienci 29"), QStringLiteral("klienci"));
    QJsonArray tabela;
    for (int linii : {1000, 10000, 100000}) {
        s->polecenie(QStringLiteral("seria %1").arg(linii), QStringLiteral("wynik"));
        QList<double> czasy;
        for (int i = 0; i < wymianPomiaru; ++i) {
            const QStringList w = s->polecenie(QStringLiteral("teraz"), QStringLiteral("wynik"));
            czasy << (w[2].toLongLong() - w[1].toLongLong()) / 1e6;
        }
        const QStringList stan = s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"));
        tabela.append(QJsonObject {{QStringLiteral("linii"), stan[1].toInt()},
                                   {QStringLiteral("mediana_ms"), mediana(czasy)},
                                   {QStringLiteral("rss_kb"), stan[2].toLongLong()}});
    }
    return tabela;
}

// Sockets of the server's port that the peer has closed and the server not:
// connections it has not got round to.
int zamykanychPrzezSerwer(quint16 port)
{
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return -1;
    int ile = 0;
    const QByteArray lokalny = QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &linia : tcp.readAll().split('\n')) {
        const QList<QByteArray> pola = linia.simplified().split(' ');
        ile += pola.size() > 3 && pola[1].endsWith(':' + lokalny) && pola[3] == "08";
    }
    return ile;
}

// The storm: short connections (20 threads, each connection sending 31
// replies and closing) while five clients take part in exchanges every 10 s.
QJsonObject burza(int sekund)
{
    const quint16 port = wolnyPort();
    auto s = serwer(port);
    s->polecenie(QStringLiteral("okres 10"), QStringLiteral("ok"));
    auto k = klienci(port, 5, true);
    s->polecenie(QStringLiteral("klienci 5"), QStringLiteral("klienci"));
    // The storm starts halfway through a period, so that a periodic exchange
    // falls inside it.
    s->polecenie(QStringLiteral("teraz"), QStringLiteral("wynik"));
    k->linia();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    s->polecenie(QStringLiteral("przestoj"), QStringLiteral("przestoj"));
    const auto stan = [&] {
        return s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"));
    };
    const qint64 cpuPrzed = stan()[3].toLongLong();

    const qint64 poczatek = monotonicznyNs();
    Proces b(sciezki.burza,
             {QString::number(port), QStringLiteral("20"), QString::number(sekund),
              QStringLiteral("31")});
    const long polaczen = b.linia(QStringLiteral("burza"), (sekund + 30) * 1000)[1].toLong();
    const qint64 koniec = monotonicznyNs();
    const qint64 najdluzszyPrzestoj
        = s->polecenie(QStringLiteral("przestoj"), QStringLiteral("przestoj"))[1].toLongLong();
    const QStringList poBurzy = stan();
    const double odpowiedzMs = (monotonicznyNs() - koniec) / 1e6;

    // Agreed times received by all five during the storm, then the first
    // exchange after it, whose request shows the server clock against the
    // system clock.
    int wBurzy = 0;
    for (const QStringList &c : k->dostepne())
        wBurzy += c.value(0) == QLatin1String("czasy") && c[2].toLongLong() > poczatek
            && c[2].toLongLong() < koniec;
    QStringList po;
    do
        po = k->linia(30000);
    while (po[1].toLongLong() < koniec);
    qint64 opoznienie = po[4].toLongLong() - po[3].toLongLong();
    if (opoznienie > 43'200'000)
        opoznienie -= 86'400'000;
    else if (opoznienie < -43'200'000)
        opoznienie += 86'400'000;
    std::this_thread::sleep_for(std::chrono::milliseconds(
        std::max<qint64>(0, 2000 - (monotonicznyNs() - koniec) / 1'000'000)));
    return {{QStringLiteral("sekund"), sekund},
            {QStringLiteral("polaczen"), qint64(polaczen)},
            {QStringLiteral("polaczen_na_s"), polaczen * 1e9 / double(koniec - poczatek)},
            {QStringLiteral("cpu_s"), (poBurzy[3].toLongLong() - cpuPrzed) / 1e9},
            {QStringLiteral("najdluzszy_przestoj_ms"), najdluzszyPrzestoj},
            {QStringLiteral("odpowiedz_po_ms"), odpowiedzMs},
            {QStringLiteral("wymian_w_burzy"), wBurzy},
            {QStringLiteral("zegar_za_systemowym_ms"), opoznienie},
            {QStringLiteral("szczyt_pamieci_kb"), stan()[4].toLongLong()},
            {QStringLiteral("close_wait_po_2_s"), zamykanychPrzezSerwer(port)}};
}

// The siege: connections that take and hold: 300 held open against a server allowed
// 256 descriptors, then 1500 that each hold the longest frame unfinished,
// while five clients take part in exchanges every 10 s.
QJsonObject oblezenie()
{
    const auto sekundOd = [](qint64 ns) {
        return (monotonicznyNs() - ns) / 1e9;
    };
    QJsonObject wynik;
    {
        const quint16 port = wolnyPort();
        auto s = serwer(port, 256);
        s->polecenie(QStringLiteral("okres 10"), QStringLiteral("ok"));
        auto k = klienci(port, 5, true);
        s->polecenie(QStringLiteral("klienci 5"), QStringLiteral("klienci"));
        k->dostepne();
        Proces b(sciezki.burza,
                 {QString::number(port), QStringLiteral("trzymaj"), QStringLiteral("300"),
                  QStringLiteral("0"), QStringLiteral("13")});
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const qint64 cpuPrzed
            = s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"))[3].toLongLong();
        const qint64 poczatek = monotonicznyNs();
        std::this_thread::sleep_for(std::chrono::seconds(11));
        const QStringList stan = s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"));
        int wymian = 0;
        for (const QStringList &c : k->dostepne())
            wymian += c.value(0) == QLatin1String("czasy") && c[2].toLongLong() > poczatek;
        wynik[QStringLiteral("deskryptory_cpu_proc")]
            = 100.0 * double(stan[3].toLongLong() - cpuPrzed) / double(monotonicznyNs() - poczatek);
        wynik[QStringLiteral("deskryptory_wymian")] = wymian;
        wynik[QStringLiteral("deskryptory_trzymanych")]
            = b.linia(QStringLiteral("trzymane"), 30000)[1].toInt();
        const qint64 odejscie = monotonicznyNs();
        s->polecenie(QStringLiteral("klienci 5"), QStringLiteral("klienci"));
        auto nowy = klienci(port, 1, false);
        s->polecenie(QStringLiteral("klienci 6"), QStringLiteral("klienci"));
        wynik[QStringLiteral("deskryptory_nowy_po_s")] = sekundOd(odejscie);
    }
    {
        const quint16 port = wolnyPort();
        auto s = serwer(port);
        auto k = klienci(port, 5, false);
        s->polecenie(QStringLiteral("klienci 5"), QStringLiteral("klienci"));
        const qint64 przed
            = s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"))[2].toLongLong();
        const qint64 poczatek = monotonicznyNs();
        Proces b(sciezki.burza,
                 {QString::number(port), QStringLiteral("trzymaj"), QStringLiteral("1500"),
                  QStringLiteral("65534"), QStringLiteral("30")});
        s->polecenie(QStringLiteral("klienci 1505"), QStringLiteral("klienci"));
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const qint64 trzymajac
            = s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"))[2].toLongLong();
        s->polecenie(QStringLiteral("klienci 5"), QStringLiteral("klienci"));
        wynik[QStringLiteral("ramki_przerwane_po_s")] = sekundOd(poczatek);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        wynik[QStringLiteral("ramki_pamiec_przed_kb")] = przed;
        wynik[QStringLiteral("ramki_pamiec_trzymajac_kb")] = trzymajac;
        wynik[QStringLiteral("ramki_pamiec_po_kb")]
            = s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"))[2].toLongLong();
    }
    return wynik;
}

// Idle: processor time of the window with nobody connected.
double bezczynnosc(int sekund)
{
    auto s = serwer(wolnyPort());
    const qint64 przed
        = s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"))[3].toLongLong();
    const qint64 start = monotonicznyNs();
    std::this_thread::sleep_for(std::chrono::seconds(sekund));
    const qint64 po = s->polecenie(QStringLiteral("stan"), QStringLiteral("stan"))[3].toLongLong();
    return 100.0 * double(po - przed) / double(monotonicznyNs() - start);
}

void wiersz(const QString &tekst)
{
    wyjscie << tekst << Qt::endl;
}

} // namespace

int mierz(bool krotko, bool json, const QStringList &tylko);

int main(int argc, char *argv[])
{
    QCoreApplication aplikacja(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Pomiary serwera synchronizacji."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("json"), QStringLiteral("Wyniki jako JSON.")});
    parser.addOption({QStringLiteral("krotko"),
                      QStringLiteral("Krótsze okresy (10 s zamiast 60 s i 30 s), do prób.")});
    parser.addOption({QStringLiteral("tylko"),
                      QStringLiteral("Tylko te pomiary: opoznienia, usluga, dryf, pamiec, "
                                     "dziennik, pelne, burza, oblezenie, bezczynnosc (po "
                                     "przecinku)."),
                      QStringLiteral("lista")});
    parser.addOption({QStringLiteral("serwer"),
                      QStringLiteral("Serwer pomiarowy z innej budowy (do porównań przed i po)."),
                      QStringLiteral("program")});
    parser.process(aplikacja);
    const QStringList tylko
        = parser.value(QStringLiteral("tylko")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const bool krotko = parser.isSet(QStringLiteral("krotko"));
    const bool json = parser.isSet(QStringLiteral("json"));
    if (parser.isSet(QStringLiteral("serwer")))
        sciezki.serwer = parser.value(QStringLiteral("serwer"));

    try {
        return mierz(krotko, json, tylko);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "pomiar: %s\n", e.what());
        return 1;
    }
}

int mierz(bool krotko, bool json, const QStringList &tylko)
{
    const auto czy = [&tylko](const char *pomiar) {
        return tylko.isEmpty() || tylko.contains(QLatin1String(pomiar));
    };
    QJsonObject wyniki;
    const QJsonArray opoz = czy("opoznienia") ? opoznienia(wyniki, krotko) : QJsonArray();
    if (!json && czy("opoznienia")) {
        wiersz(QStringLiteral("Exchange latency, press to the last agreed time received (ms), "
                              "%1 exchanges each")
                   .arg(wymianPomiaru));
        wiersz(QStringLiteral("| clients | registered in (s) | median | max | server CPU | CPU per "
                              "client (µs) | longest pass | baseline, poll() | baseline, epoll | "
                              "ratio to the faster | agreed time staler at the last client (ms) "
                              "| ended with |"));
        wiersz(QStringLiteral("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|"));
        for (const auto &w : opoz) {
            const QJsonObject o = w.toObject();
            const auto liczba = [&o](const char *pole, int miejsc) {
                return QString::number(o[QLatin1String(pole)].toDouble(), 'f', miejsc);
            };
            QStringList konce = o[QStringLiteral("konce")].toVariant().toStringList();
            konce.removeDuplicates();
            wiersz(
                QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 | %11 | %12 |")
                    .arg(o[QStringLiteral("klientow")].toInt())
                    .arg(liczba("rejestracja_s", 2), liczba("mediana_ms", 2), liczba("max_ms", 2),
                         liczba("cpu_ms", 2), liczba("cpu_na_klienta_us", 1),
                         liczba("najdluzszy_przebieg_ms", 0), liczba("bazowy_poll_ms", 2),
                         liczba("bazowy_epoll_ms", 2))
                    .arg(liczba("stosunek", 2), liczba("stalosc_ms", 0),
                         konce.join(QLatin1Char(' '))));
        }
    }

    const QJsonArray usl = czy("usluga") ? uslugi(krotko) : QJsonArray();
    if (czy("usluga"))
        wyniki[QStringLiteral("usluga")] = usl;
    if (!json && czy("usluga")) {
        wiersz(QStringLiteral("\nWithout a window, as the service (summaries only): processor "
                              "time with the clients connected and an exchange every 20 s, then "
                              "%1 exchanges at once (ms)")
                   .arg(wymianPomiaru));
        wiersz(QStringLiteral("| clients | event loop | CPU while connected (%) | median | server "
                              "CPU | CPU per client (µs) | longest pass | faster baseline | ratio "
                              "| agreed time staler at the last client (ms) | ended with |"));
        wiersz(QStringLiteral("|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---|"));
        for (const auto &w : usl) {
            const QJsonObject o = w.toObject();
            const auto liczba = [&o](const char *pole, int miejsc) {
                return QString::number(o[QLatin1String(pole)].toDouble(), 'f', miejsc);
            };
            wiersz(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 | %11 |")
                       .arg(o[QStringLiteral("klientow")].toInt())
                       .arg(o[QStringLiteral("petla")].toString() == QLatin1String("qt")
                                ? QStringLiteral("Qt's")
                                : QStringLiteral("epoll"),
                            liczba("bezczynny_cpu_proc", 2), liczba("mediana_ms", 2),
                            liczba("cpu_ms", 2), liczba("cpu_na_klienta_us", 1),
                            liczba("najdluzszy_przebieg_ms", 0), liczba("bazowy_ms", 2),
                            liczba("stosunek", 2))
                       .arg(liczba("stalosc_ms", 0),
                            o[QStringLiteral("konce")].toVariant().toStringList().join(
                                QLatin1Char(' '))));
        }
    }

    const int okres = krotko ? 10 : 60;
    if (czy("dryf")) {
        wyniki[QStringLiteral("dryf_bezczynny_ms_na_min")] = dryf(1, okres);
        wyniki[QStringLiteral("dryf_obciazony_ms_na_min")] = dryf(1000, okres);
        if (!krotko)
            wyniki[QStringLiteral("dryf_10000_ms_na_min")] = dryf(10000, okres);
    }
    if (!json && czy("dryf"))
        wiersz(QStringLiteral("\nClock drift over %1 s (ms per minute): idle %2, with an exchange "
                              "every 10 s at 1000 clients %3%4")
                   .arg(okres)
                   .arg(wyniki[QStringLiteral("dryf_bezczynny_ms_na_min")].toDouble(), 0, 'f', 2)
                   .arg(wyniki[QStringLiteral("dryf_obciazony_ms_na_min")].toDouble(), 0, 'f', 2)
                   .arg(krotko ? QString()
                               : QStringLiteral(", at 10000 clients %1")
                                     .arg(wyniki[QStringLiteral("dryf_10000_ms_na_min")].toDouble(),
                                          0, 'f', 2)));

    const QJsonObject rss = czy("pamiec") ? pamiec(krotko) : QJsonObject();
    if (czy("pamiec"))
        wyniki[QStringLiteral("pamiec_kb")] = rss;
    if (!json && czy("pamiec"))
        wiersz(QStringLiteral("\nResident memory (KB): 0 clients %1, 100 clients %2, 1000 clients "
                              "%3%4; %5 KB per client")
                   .arg(rss[QStringLiteral("0")].toInteger())
                   .arg(rss[QStringLiteral("100")].toInteger())
                   .arg(rss[QStringLiteral("1000")].toInteger())
                   .arg(rss.contains(QStringLiteral("10000"))
                            ? QStringLiteral(", 10000 clients %1")
                                  .arg(rss[QStringLiteral("10000")].toInteger())
                            : QString())
                   .arg(rss[QStringLiteral("na_klienta_kb")].toDouble(), 0, 'f', 1));

    const QJsonArray dziennik = czy("dziennik") ? przyrostDziennika() : QJsonArray();
    if (czy("dziennik"))
        wyniki[QStringLiteral("dziennik")] = dziennik;
    if (!json && czy("dziennik")) {
        wiersz(QStringLiteral("\nLog growth, 29 clients, exchanges back to back (latency: press "
                              "to the agreed time sent, ms)"));
        wiersz(QStringLiteral("| lines | median latency | resident KB |"));
        wiersz(QStringLiteral("|---:|---:|---:|"));
        for (const auto &w : dziennik) {
            const QJsonObject o = w.toObject();
            wiersz(QStringLiteral("| %1 | %2 | %3 |")
                       .arg(o[QStringLiteral("linii")].toInt())
                       .arg(o[QStringLiteral("mediana_ms")].toDouble(), 0, 'f', 2)
                       .arg(o[QStringLiteral("rss_kb")].toInteger()));
        }
    }

    const QJsonObject p = czy("pelne") ? pelnePanele(krotko) : QJsonObject();
    if (czy("pelne"))
        wyniki[QStringLiteral("pelne_panele")] = p;
    if (!json && czy("pelne"))
        wiersz(QStringLiteral("\nFull panes: %1 clients, the upper pane at its %2 lines, %3 "
                              "exchanges: longest pass of the event loop %4 ms, median latency "
                              "%5 ms")
                   .arg(p[QStringLiteral("klientow")].toInt())
                   .arg(maksLinii)
                   .arg(wymianPomiaru)
                   .arg(p[QStringLiteral("najdluzszy_przebieg_ms")].toDouble(), 0, 'f', 0)
                   .arg(p[QStringLiteral("mediana_ms")].toDouble(), 0, 'f', 2));

    const QJsonObject b = czy("burza") ? burza(10) : QJsonObject();
    if (czy("burza"))
        wyniki[QStringLiteral("burza")] = b;
    if (!json && czy("burza"))
        wiersz(QStringLiteral(
                   "\nStorm: 20 threads for %1 s opening connections that send 31 replies each "
                   "and close, five clients in exchanges every 10 s: %2 connections (%3 a second) "
                   "in %4 s of server CPU; longest pass of the event loop %5 ms; answered %6 ms "
                   "after the storm; %7 exchanges reached all five during it; after it, the "
                   "system clock minus the server clock %8 ms; peak resident memory %9 KB; %10 "
                   "sockets in CLOSE-WAIT 2 s after it")
                   .arg(b[QStringLiteral("sekund")].toInt())
                   .arg(b[QStringLiteral("polaczen")].toInteger())
                   .arg(b[QStringLiteral("polaczen_na_s")].toDouble(), 0, 'f', 0)
                   .arg(b[QStringLiteral("cpu_s")].toDouble(), 0, 'f', 2)
                   .arg(b[QStringLiteral("najdluzszy_przestoj_ms")].toInteger())
                   .arg(b[QStringLiteral("odpowiedz_po_ms")].toDouble(), 0, 'f', 1)
                   .arg(b[QStringLiteral("wymian_w_burzy")].toInt())
                   .arg(b[QStringLiteral("zegar_za_systemowym_ms")].toInteger())
                   .arg(b[QStringLiteral("szczyt_pamieci_kb")].toInteger())
                   .arg(b[QStringLiteral("close_wait_po_2_s")].toInt()));

    const QJsonObject o = czy("oblezenie") ? oblezenie() : QJsonObject();
    if (czy("oblezenie"))
        wyniki[QStringLiteral("oblezenie")] = o;
    if (!json && czy("oblezenie"))
        wiersz(QStringLiteral(
                   "\nHeld connections: 300 held open against a server allowed 256 descriptors: "
                   "server CPU %1 % while they stayed, %2 exchanges reached all five clients, a "
                   "new client registered %3 s after they left. 1500 each holding the longest "
                   "frame unfinished: resident memory %4 KB before, %5 KB while they were held "
                   "(%6 KB each), %7 KB after; all cut off %8 s after they came")
                   .arg(o[QStringLiteral("deskryptory_cpu_proc")].toDouble(), 0, 'f', 2)
                   .arg(o[QStringLiteral("deskryptory_wymian")].toInt())
                   .arg(o[QStringLiteral("deskryptory_nowy_po_s")].toDouble(), 0, 'f', 2)
                   .arg(o[QStringLiteral("ramki_pamiec_przed_kb")].toInteger())
                   .arg(o[QStringLiteral("ramki_pamiec_trzymajac_kb")].toInteger())
                   .arg((o[QStringLiteral("ramki_pamiec_trzymajac_kb")].toDouble()
                         - o[QStringLiteral("ramki_pamiec_przed_kb")].toDouble())
                            / 1500,
                        0, 'f', 1)
                   .arg(o[QStringLiteral("ramki_pamiec_po_kb")].toInteger())
                   .arg(o[QStringLiteral("ramki_przerwane_po_s")].toDouble(), 0, 'f', 1));

    const int bezczynnie = krotko ? 10 : 30;
    if (czy("bezczynnosc"))
        wyniki[QStringLiteral("cpu_bezczynny_proc")] = bezczynnosc(bezczynnie);
    if (!json && czy("bezczynnosc"))
        wiersz(QStringLiteral("\nIdle CPU over %1 s, window up, nobody connected: %2 %")
                   .arg(bezczynnie)
                   .arg(wyniki[QStringLiteral("cpu_bezczynny_proc")].toDouble(), 0, 'f', 3));
    if (json)
        wyjscie << QJsonDocument(wyniki).toJson();
    return 0;
}
