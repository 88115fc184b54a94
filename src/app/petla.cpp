#include "petla.h"

#include <QCoreApplication>

#ifdef Q_OS_LINUX
#include "app/dyspozytorEpoll.h"

#include <qpa/qwindowsysteminterface.h>
#endif

namespace {

QString platforma(const QStringList &argumenty)
{
    const auto i = argumenty.indexOf(QLatin1String("-platform"));
    if (i >= 0 && i + 1 < argumenty.size())
        return argumenty[i + 1];
    return qEnvironmentVariable("QT_QPA_PLATFORM");
}

} // namespace

void wybierzPetle(const QStringList &argumenty, bool bezOkna)
{
#ifdef Q_OS_LINUX
    const QString nazwa = platforma(argumenty).section(QLatin1Char(':'), 0, 0);
    if (bezOkna || nazwa == QLatin1String("offscreen") || nazwa == QLatin1String("minimal")) {
        // The window system's events wait in a queue of its own, which each
        // pass empties, as Qt's loop for these platforms does.
        QCoreApplication::setEventDispatcher(
            new DyspozytorEpoll([](QEventLoop::ProcessEventsFlags flagi) {
                return QWindowSystemInterface::sendWindowSystemEvents(flagi);
            }));
        return;
    }
#else
    Q_UNUSED(argumenty);
    Q_UNUSED(bezOkna);
#endif
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}
