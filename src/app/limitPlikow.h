#ifndef LIMITPLIKOW_H
#define LIMITPLIKOW_H

// Every connection is a file descriptor. Desktops start programs with a soft
// limit of about a thousand; raise it to the hard limit so that a thousand
// clients do not exhaust it.
void podniesLimitPlikow();

#endif // LIMITPLIKOW_H
