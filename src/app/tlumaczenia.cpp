#include "tlumaczenia.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace tlumaczenia {

QTranslator *qtPolski(const QString &program)
{
    static QTranslator *tlumaczenie = [&program]() -> QTranslator * {
        static QTranslator wczytane;
        const QString obok
            = QDir(QFileInfo(program).absolutePath()).filePath(QStringLiteral("translations"));
        for (const QString &katalog : {QLibraryInfo::path(QLibraryInfo::TranslationsPath), obok})
            if (wczytane.load(QStringLiteral("qtbase_pl"), katalog))
                return &wczytane;
        return nullptr;
    }();
    return tlumaczenie;
}

void zainstaluj(const QString &program)
{
    if (QTranslator *t = qtPolski(program))
        QCoreApplication::installTranslator(t);
}

QString przetlumacz(const QString &program, const char *kontekst, const char *tekst)
{
    const QTranslator *t = qtPolski(program);
    const QString przetlumaczony = t ? t->translate(kontekst, tekst) : QString();
    return przetlumaczony.isEmpty() ? QString::fromUtf8(tekst) : przetlumaczony;
}

} // namespace tlumaczenia
