#include "nasluch.h"

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

QString wybierzAdres(const QList<QHostAddress> &adresy)
{
    for (const QHostAddress &adres : adresy) {
        if (adres == QHostAddress::LocalHost || adres.toIPv4Address() == 0)
            continue;
        return adres.toString();
    }
    return QHostAddress(QHostAddress::LocalHost).toString();
}

void Serwer::rozpocznij()
{
    const auto port = quint16(polePortu->value());
    if (!serwerTcp->listen(QHostAddress::AnyIPv4, port)) {
        QMessageBox::critical(this, QStringLiteral("Błąd!"),
                              QStringLiteral("Serwer nie może zostać uruchomionym"),
                              QMessageBox::Ok, QMessageBox::NoButton);
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

    przyciskRozpocznij->setEnabled(false);
    przyciskZatrzymaj->setEnabled(true);
    przyciskSynch->setEnabled(true);
    polePortu->setEnabled(false);
    serwerDziala = 1;
    okresSynch(poleOkresu->value());
}

void Serwer::zatrzymaj()
{
    serwerDziala = 0;
    typKomunikatu = ramka::kodStopu;
    wyslijZadanie();
    if (synchWlaczona == 1)
        synchB();
    dopisz(oknoSerwera, zeZnacznikiem(czasSerwera, QStringLiteral(" - Zamknięto serwer")));

    przyciskRozpocznij->setEnabled(true);
    przyciskZatrzymaj->setEnabled(false);
    przyciskSynch->setEnabled(false);
    polePortu->setEnabled(true);
    wartoscIp->setVisible(false);
    serwerTcp->close();
}
