#pragma once
// Every message of a connection test as CSV text (UTF-8, comma-separated, one
// line per message sent, header first):
//   numero,envoi_us,reception_us,latence_us,etat
// numero counts from 1; envoi_us and reception_us are microseconds since the
// run started; reception_us and latence_us are empty without an accepted
// answer; etat is the French word of LinkTestTexts.h. Any thread.

#include <QByteArray>
#include <QString>

class LinkTestRun;

QByteArray LinkTestCsv(const LinkTestRun& run);
// Writes it in one piece (WholeFile.h); the error text, empty on success.
QString SaveLinkTestCsv(const LinkTestRun& run, const QString& path);
