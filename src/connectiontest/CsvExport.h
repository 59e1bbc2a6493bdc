#pragma once
// Every message of a connection test as CSV text (UTF-8, comma-separated, one
// line per message sent, header first). The first line, a comment ("# "),
// holds the route and the settings:
//   # sortie=...;entree=...;type=note|cc|sysex;longueur_sysex=N;messages=N;
//     rythme=N|un_a_la_fois;moments=aleatoires|reguliers;attente_ms=N;demarrage=N
//   numero,envoi_us,reception_us,latence_us,etat
// numero counts from 1; envoi_us and reception_us are microseconds since the
// run started; reception_us and latence_us are empty without an accepted
// answer; etat is the French word of LinkTestTexts.h. Any thread.

#include <QByteArray>
#include <QString>

class LinkTestRun;

// The devices of a run, as the lists name them.
struct LinkTestRoute {
  QString Output;
  QString Input;
};

QByteArray LinkTestCsv(const LinkTestRun& run, const LinkTestRoute& route);
// Writes it in one piece (WholeFile.h); the error text, empty on success.
QString SaveLinkTestCsv(const LinkTestRun& run, const LinkTestRoute& route, const QString& path);
