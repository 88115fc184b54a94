#ifndef TLUMACZENIA_H
#define TLUMACZENIA_H

#include <QString>

class QTranslator;

// Qt's own texts in Polish, as the program's are: the panes' context menu,
// the buttons of a message box, the words of the command line's help. From
// Qt's qtbase_pl.qm where Qt keeps its translations (Linux), or in the
// folder "translations" beside the program (Windows, which ships it).
namespace tlumaczenia {

// The translation, loaded at the first call: `program` is the program's own
// path, as the command line gives it, for its folder. Null when none is
// found; Qt's texts then stay English.
QTranslator *qtPolski(const QString &program);

// Installs it in the application, once its object exists.
void zainstaluj(const QString &program);

// Qt's text in Polish where the translation has it.
QString przetlumacz(const QString &program, const char *kontekst, const char *tekst);

} // namespace tlumaczenia

#endif // TLUMACZENIA_H
