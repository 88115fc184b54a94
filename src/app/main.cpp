#include "app/limitPlikow.h"
#include "window/serwer.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    podniesLimitPlikow();
    QApplication aplikacja(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Serwer Synchronizacji"));
    QApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    Serwer okno;
    okno.show();
    return QApplication::exec();
}
