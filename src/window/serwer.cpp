#include "serwer.h"

#include "dziennik.h"
#include "sync/ramka.h"
#include "sync/termin.h"
#include "sync/zakresy.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBrowser>
#include <QTimer>

namespace {

// Every widget carries its member's name, so that it can be found from
// outside (tests, accessibility tools) without reaching into the class.
template<typename T> T *nazwany(T *obiekt, const char *nazwa)
{
    obiekt->setObjectName(QLatin1String(nazwa));
    return obiekt;
}

QTextBrowser *oknoDziennika(const char *nazwa, int minSzerokosc)
{
    auto *okno = nazwany(new QTextBrowser, nazwa);
    okno->setReadOnly(true);
    okno->setUndoRedoEnabled(false); // a read-only log has nothing to undo
    // A line is one event: it scrolls sideways rather than breaking in two.
    okno->setLineWrapMode(QTextEdit::NoWrap);
    okno->setFocusPolicy(Qt::NoFocus);
    okno->setMinimumWidth(minSzerokosc);
    return okno;
}

QSpinBox *pole(const char *nazwa, const Zakres &zakres)
{
    auto *pole = nazwany(new QSpinBox, nazwa);
    pole->setRange(zakres.od, zakres.doWartosci);
    return pole;
}

} // namespace

Serwer::Serwer(QWidget *parent)
    : QWidget(parent)
    , klienci(nullptr)
    , rozmiaryBlokow(nullptr)
    , zegar(nullptr)
    , synchWlaczona(0)
    , liczbaZapytanych(0)
    , liczbaOdpowiedzi(0)
    , roznice {}
    , przyjete {}
    , serwerDziala(0)
    , typKomunikatu(ramka::kodZadania)
    , licznikTaktow(0)
{
    setWindowTitle(QStringLiteral("Aktywny Serwer Synchronizacji"));
    utworzSerwerTcp();
    klienci = new QList<QTcpSocket *>;
    rozmiaryBlokow = new QList<quint16>;
    utworzPanele();
    utworzPola();
    utworzEtykiety();
    utworzPrzyciski();
    ulozSiatke();
    utworzTabele();
    wartoscIp->setVisible(false);
    ustalRozmiar();
    uruchomZegar();
    odswiezTabele();
    dopisz(oknoSerwera,
           zeZnacznikiem(
               czasSerwera,
               QStringLiteral(" - Aktywny serwer synchronizacyjny metodą algorytmu z Berkeley.")));
}

void Serwer::utworzSerwerTcp()
{
    serwerTcp = nazwany(new QTcpServer(this), "serwerTcp");
    // A thousand clients may connect at once; with the default queue of 50
    // the system drops the rest and they trickle in over half a minute.
    serwerTcp->setListenBacklogSize(4096);
    domyslnieOczekujacych = serwerTcp->maxPendingConnections();
    connect(serwerTcp, &QTcpServer::newConnection, this, &Serwer::dodajKlienta);
    connect(serwerTcp, &QTcpServer::acceptError, this, &Serwer::bladPrzyjmowania);
}

void Serwer::utworzPanele()
{
    linia = nazwany(new QFrame, "linia");
    linia->setFrameShape(QFrame::VLine);
    oknoSerwera = oknoDziennika("oknoSerwera", 430);
    oknoSerwera->setMinimumHeight(300);
    oknoSynchronizacji = oknoDziennika("oknoSynchronizacji", 400);
}

void Serwer::utworzPola()
{
    polePortu = pole("polePortu", zakresy::port);
    polePortu->setValue(zakresy::port.domyslnie);
    poleOkresu = pole("poleOkresu", zakresy::okres);
    // Connected before the value is set, so the schedule is armed once here.
    connect(poleOkresu, &QSpinBox::valueChanged, this, &Serwer::okresSynch);
    poleOkresu->setValue(zakresy::okres.domyslnie);
    poleOdrzucenia = pole("poleOdrzucenia", zakresy::prog);
    poleOdrzucenia->setValue(zakresy::prog.domyslnie);
    poleOdrzucenia->setSingleStep(zakresy::krokProgu);
}

void Serwer::utworzEtykiety()
{
    etykietaOdrzucenia
        = nazwany(new QLabel(QStringLiteral("Czas odrzucenia:")), "etykietaOdrzucenia");
    etykietaPortu = nazwany(new QLabel(QStringLiteral("Podaj Port:")), "etykietaPortu");
    etykietaIp = nazwany(new QLabel(QStringLiteral("Ip Serwera:")), "etykietaIp");
    wartoscIp = nazwany(new QLabel, "wartoscIp");
    etykietaCzasu = nazwany(new QLabel(QStringLiteral("Czas serwera:")), "etykietaCzasu");
    wartoscCzasu = nazwany(new QLabel, "wartoscCzasu");
    etykietaOkresu = nazwany(new QLabel(QStringLiteral("Okres synch.[s]:")), "etykietaOkresu");
    etykietaNastSynch = nazwany(new QLabel(QStringLiteral("Nast. synch.:")), "etykietaNastSynch");
    wartoscNastSynch = nazwany(new QLabel, "wartoscNastSynch");
}

void Serwer::utworzPrzyciski()
{
    przyciskRozpocznij = nazwany(new QPushButton(QStringLiteral("Rozpocznij\nDziałanie\nSerwera")),
                                 "przyciskRozpocznij");
    przyciskZatrzymaj
        = nazwany(new QPushButton(QStringLiteral("Zatrzymaj\nSerwer")), "przyciskZatrzymaj");
    przyciskKoniec = nazwany(new QPushButton(QStringLiteral("Zakończ\nDziałanie\nProgramu")),
                             "przyciskKoniec");
    przyciskSynch
        = nazwany(new QPushButton(QStringLiteral("Uruchom\nSynchronizację")), "przyciskSynch");
    przyciskSynchTeraz
        = nazwany(new QPushButton(QStringLiteral("Synchronizuj Teraz")), "przyciskSynchTeraz");
    przyciskCzysc = nazwany(new QPushButton(QStringLiteral("Wyczyść\nOkna")), "przyciskCzysc");
    connect(przyciskRozpocznij, &QPushButton::clicked, this, &Serwer::rozpocznij);
    connect(przyciskZatrzymaj, &QPushButton::clicked, this, &Serwer::zatrzymaj);
    connect(przyciskSynch, &QPushButton::clicked, this, &Serwer::synchB);
    connect(przyciskSynchTeraz, &QPushButton::clicked, this, &Serwer::wyslijZadanie);
    connect(przyciskCzysc, &QPushButton::clicked, this, &Serwer::czysc);
    connect(przyciskKoniec, &QPushButton::clicked, this, &Serwer::koniec);
    przyciskZatrzymaj->setEnabled(false);
    przyciskSynch->setEnabled(false);
    przyciskSynchTeraz->setEnabled(false);
    for (QPushButton *przycisk :
         {przyciskRozpocznij, przyciskZatrzymaj, przyciskCzysc, przyciskKoniec})
        przycisk->setMaximumWidth(90);
}

void Serwer::ulozSiatke()
{
    siatka = new QGridLayout(this);
    // The panes fill their cells: at the grid's own size that is where
    // centring puts them, and a larger window gives them a share of its room.
    siatka->addWidget(oknoSerwera, 0, 0, 7, 3);
    siatka->addWidget(oknoSynchronizacji, 7, 2, 3, 7);
    siatka->addWidget(przyciskCzysc, 6, 5, 1, 1, Qt::AlignRight);
    siatka->addWidget(przyciskRozpocznij, 0, 5, 1, 1);
    siatka->addWidget(przyciskZatrzymaj, 1, 5, 1, 1);
    siatka->addWidget(przyciskKoniec, 2, 5, 1, 1);
    siatka->addWidget(linia, 0, 6, 7, 1);
    siatka->addWidget(etykietaIp, 0, 7, 1, 1, Qt::AlignRight);
    siatka->addWidget(wartoscIp, 0, 8, 1, 1, Qt::AlignLeft);
    siatka->addWidget(etykietaPortu, 1, 7, 1, 1, Qt::AlignRight);
    siatka->addWidget(polePortu, 1, 8, 1, 1, Qt::AlignLeft);
    siatka->addWidget(etykietaCzasu, 3, 7, 1, 1, Qt::AlignRight);
    siatka->addWidget(wartoscCzasu, 3, 8, 1, 1, Qt::AlignLeft);
    siatka->addWidget(etykietaOkresu, 4, 7, 1, 1, Qt::AlignRight);
    siatka->addWidget(poleOkresu, 4, 8, 1, 1, Qt::AlignLeft);
    siatka->addWidget(etykietaNastSynch, 5, 7, 1, 1, Qt::AlignRight);
    siatka->addWidget(wartoscNastSynch, 5, 8, 1, 1, Qt::AlignLeft);
    siatka->addWidget(przyciskSynchTeraz, 6, 7, 1, 2, Qt::AlignCenter);
    siatka->addWidget(przyciskSynch, 7, 1, 1, 1, Qt::AlignCenter);
    siatka->addWidget(poleOdrzucenia, 8, 1, 1, 1, Qt::AlignLeft);
    siatka->addWidget(etykietaOdrzucenia, 8, 0, 1, 1, Qt::AlignRight);
}

// Under the grid, in rows of their own, the clients: their caption, the
// filter, and the table, which copies its selected rows.
void Serwer::utworzTabele()
{
    etykietaKlientow = nazwany(new QLabel, "etykietaKlientow");
    etykietaKlientow->setWordWrap(true); // the window keeps its width
    etykietaKlientow->setToolTip(
        QStringLiteral("Średnia wymiany obejmuje pierwsze %1 odpowiedzi; kto do niej trafi, "
                       "zależy od kolejności odpowiedzi. Czas uzgodniony dostają wszyscy.")
            .arg(pojemnoscWymiany - 1));
    tylkoZProblemem
        = nazwany(new QCheckBox(QStringLiteral("Tylko z problemem")), "tylkoZProblemem");
    tylkoZProblemem->setToolTip(QStringLiteral("Tylko odrzucone, milczące, nieprzyjmujące czasu "
                                               "uzgodnionego i o %1 s lub więcej od czasu "
                                               "uzgodnionego, który dostały.")
                                    .arg(zgodnoscMs / 1000));
    modelKlientow = nazwany(new ModelKlientow(this), "modelKlientow");
    sortowanieKlientow = nazwany(new SortowanieKlientow(this), "sortowanieKlientow");
    sortowanieKlientow->setSourceModel(modelKlientow);
    connect(tylkoZProblemem, &QCheckBox::toggled, sortowanieKlientow,
            &SortowanieKlientow::tylkoZProblemem);
    tabelaKlientow = nazwany(new QTableView, "tabelaKlientow");
    tabelaKlientow->setModel(sortowanieKlientow);
    tabelaKlientow->setSortingEnabled(true);
    tabelaKlientow->sortByColumn(ModelKlientow::Wynik, Qt::DescendingOrder); // the worst first
    tabelaKlientow->setSelectionBehavior(QAbstractItemView::SelectRows);
    tabelaKlientow->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabelaKlientow->setWordWrap(false);
    tabelaKlientow->setTabKeyNavigation(false); // Tab leaves the table; arrows move in it
    QHeaderView *wiersze = tabelaKlientow->verticalHeader();
    wiersze->hide();
    wiersze->setSectionResizeMode(QHeaderView::Fixed);
    wiersze->setDefaultSectionSize(fontMetrics().height() + 6); // compact rows
    // Columns fit what the first rows hold, not ten thousand.
    tabelaKlientow->horizontalHeader()->setResizeContentsPrecision(100);
    tabelaKlientow->resizeColumnsToContents();
    // Ctrl+C and the context menu copy the selected rows.
    auto *kopiuj = new QAction(QStringLiteral("Kopiuj"), tabelaKlientow);
    kopiuj->setShortcut(QKeySequence::Copy);
    kopiuj->setShortcutContext(Qt::WidgetShortcut);
    connect(kopiuj, &QAction::triggered, this, &Serwer::kopiujZaznaczone);
    auto *wszystkie = new QAction(QStringLiteral("Zaznacz wszystko"), tabelaKlientow);
    connect(wszystkie, &QAction::triggered, tabelaKlientow, &QTableView::selectAll);
    tabelaKlientow->addActions({kopiuj, wszystkie});
    tabelaKlientow->setContextMenuPolicy(Qt::ActionsContextMenu);
    tabelaKlientow->setMinimumHeight(4 * wiersze->defaultSectionSize());
    siatka->addWidget(etykietaKlientow, 10, 0, 1, 9);
    siatka->addWidget(tylkoZProblemem, 10, 9, 1, 1, Qt::AlignRight | Qt::AlignBottom);
    siatka->addWidget(tabelaKlientow, 11, 0, 1, 10);
    // Room beyond the grid's: the width to both panes (the column they
    // share) and the table, the height to the panes and twice as much to
    // the table.
    siatka->setColumnStretch(2, 1);
    for (int wiersz = 0; wiersz <= 6; ++wiersz)
        siatka->setRowStretch(wiersz, 2);
    siatka->setRowStretch(9, 3);
    siatka->setRowStretch(11, 10);
    odswiezanieTabeli = nazwany(new QTimer(this), "odswiezanieTabeli");
    odswiezanieTabeli->setSingleShot(true);
    odswiezanieTabeli->setInterval(odswiezanieTabeliMs);
    connect(odswiezanieTabeli, &QTimer::timeout, this, &Serwer::odswiezTabele);
}

// The grid at its own size, and ten rows of the table where the screen has
// the room.
void Serwer::ustalRozmiar()
{
    const int wiersz = tabelaKlientow->verticalHeader()->defaultSectionSize();
    const int dziesiecWierszy = tabelaKlientow->horizontalHeader()->sizeHint().height()
        + 10 * wiersz + 2 * tabelaKlientow->frameWidth();
    const QScreen *ekran = screen();
    const int wysokosc = sizeHint().height() + dziesiecWierszy - tabelaKlientow->minimumHeight();
    resize(sizeHint().width(),
           ekran ? qMin(wysokosc, ekran->availableGeometry().height() * 9 / 10) : wysokosc);
}

// The server clock from the system clock, once, and its tick.
void Serwer::uruchomZegar()
{
    const QDateTime teraz = QDateTime::currentDateTime();
    czasSerwera = teraz.time();
    przesuniecieStrefy = teraz.offsetFromUtc();

    // A coarse timer fires late often enough to lose seconds an hour; the
    // clock counts ticks, so it needs them on time.
    zegar = nazwany(new QTimer(this), "zegar");
    zegar->setTimerType(Qt::PreciseTimer);
    zegar->setSingleShot(false);
    connect(zegar, &QTimer::timeout, this, &Serwer::uplywCzasu);
    zegar->start(taktMs);
    ostatniTakt = podsumowanoMs = sprzatnietoMs = monotonicznyMs();
}

Serwer::~Serwer()
{
    // Children outlive this body: sockets closed on their way out still emit
    // disconnected() and readyRead(). Cut every line into the slots first, so
    // none of them runs against the lists deleted below.
    zegar->disconnect(this);
    serwerTcp->disconnect(this);
    const auto gniazda = serwerTcp->findChildren<QTcpSocket *>();
    for (QTcpSocket *gniazdo : gniazda)
        gniazdo->disconnect(this);

    delete klienci;
    delete rozmiaryBlokow;
}

void Serwer::ustawPola(std::optional<int> port, std::optional<int> okres, std::optional<int> prog)
{
    for (const auto &[pole, wartosc] :
         {std::pair {polePortu, port}, {poleOkresu, okres}, {poleOdrzucenia, prog}})
        if (wartosc)
            pole->setValue(*wartosc);
}

int Serwer::port() const
{
    return polePortu->value();
}

bool Serwer::uruchomSerwer()
{
    przyciskRozpocznij->click();
    return serwerTcp->isListening();
}

void Serwer::wlaczSynchronizacje()
{
    if (synchWlaczona == 0 && przyciskSynch->isEnabled())
        przyciskSynch->click();
}

void Serwer::zatrzymajSerwer()
{
    if (przyciskZatrzymaj->isEnabled())
        przyciskZatrzymaj->click();
    dokonczRozsylanie();
    const auto gniazda = serwerTcp->findChildren<QTcpSocket *>();
    for (QTcpSocket *gniazdo : gniazda)
        gniazdo->flush();
}

void Serwer::dopiszZdarzenie(const QString &tresc, usluga::Waga waga)
{
    dopisz(oknoSerwera, zeZnacznikiem(czasSerwera, tresc), waga);
}

void Serwer::koniec()
{
    serwerTcp->close();
    close();
}
