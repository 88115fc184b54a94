#include "network/adres.h"
#include "sync/ramka.h"
#include "window/dziennik.h"
#include "window/serwer.h"

#include <QLabel>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTextBrowser>

namespace {

// Why a port cannot be listened on, in the operator's words where the cause
// is a common one.
QString powodBledu(const QTcpServer &serwer)
{
    switch (serwer.serverError()) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("port jest zajęty przez inny program");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("brak uprawnień do tego portu (porty poniżej 1024 wymagają "
                              "uprawnień administratora)");
    default:
        return serwer.errorString();
    }
}

} // namespace

void Serwer::rozpocznij()
{
    const auto port = quint16(polePortu->value());
    if (!serwerTcp->listen(QHostAddress::AnyIPv4, port)) {
        const QString powod = bladStartu = powodBledu(*serwerTcp);
        // The pane keeps why, and the box says it under its own words.
        dopisz(oknoSerwera,
               zeZnacznikiem(czasSerwera,
                             QStringLiteral(" - Nie uruchomiono serwera na porcie ")
                                 + QString::number(port) + QStringLiteral(": ") + powod),
               usluga::Blad);
        if (widoczny) {
            QMessageBox okienko(QMessageBox::Critical, QStringLiteral("Błąd!"),
                                QStringLiteral("Serwer nie może zostać uruchomionym"),
                                QMessageBox::Ok, this);
            okienko.setInformativeText(QStringLiteral("Port %1: %2.").arg(port).arg(powod));
            okienko.exec();
        }
        return;
    }

    const QString adres = wybierzAdres(QNetworkInterface::allAddresses());
    wartoscIp->setVisible(true);
    wartoscIp->setText(adres);
    dopisz(oknoSerwera,
           zeZnacznikiem(czasSerwera,
                         QStringLiteral(" - Uruchomiono serwer pod adresem: ") + adres
                             + QStringLiteral("; Port:")
                             + QString::number(serwerTcp->serverPort())));

    // A control that disables itself gives the focus to the one a person
    // presses next, not to the next in the chain, the end of the program.
    const bool zFokusem = przyciskRozpocznij->hasFocus();
    przyciskRozpocznij->setEnabled(false);
    przyciskZatrzymaj->setEnabled(true);
    przyciskSynch->setEnabled(true);
    polePortu->setEnabled(false);
    if (zFokusem)
        przyciskZatrzymaj->setFocus();
    setWindowTitle(QStringLiteral("Aktywny Serwer Synchronizacji"));
    serwerDziala = 1;
    okresSynch(poleOkresu->value());
}

void Serwer::zatrzymaj()
{
    serwerDziala = 0;
    typKomunikatu = ramka::kodStopu;
    wyslijZadanie();
    dokonczRozsylanie(); // every client is told before the port closes
    if (synchWlaczona == 1)
        synchB();
    podsumujPominiete();
    dopisz(oknoSerwera, zeZnacznikiem(czasSerwera, QStringLiteral(" - Zamknięto serwer")));

    const bool zFokusem = przyciskZatrzymaj->hasFocus();
    przyciskRozpocznij->setEnabled(true);
    przyciskZatrzymaj->setEnabled(false);
    przyciskSynch->setEnabled(false);
    polePortu->setEnabled(true);
    if (zFokusem)
        przyciskRozpocznij->setFocus();
    wartoscIp->setVisible(false);
    setWindowTitle(QStringLiteral("Aktywny Serwer Synchronizacji (serwer zatrzymany)"));
    serwerTcp->close();
}
