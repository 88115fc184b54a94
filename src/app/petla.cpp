#include "petla.h"

#include <QByteArray>

void wybierzPetle()
{
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
}
