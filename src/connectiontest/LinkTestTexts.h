#pragma once
// The French texts of a connection test's figures: durations in
// milliseconds with a decimal comma, the one summary line that the event log
// gets at the end of a run, and the word of each message's outcome.
// Any thread.

#include <QString>

#include "LinkTestRun.h"

// "1,23 ms" from microseconds, with two decimals unless told otherwise.
QString MillisecondsText(double microseconds, int decimals = 2);
// "Test de liaison : 1000/1000 reçus, latence médiane 1,23 ms (max 2,01 ms), gigue 0,12 ms",
// followed by what went wrong, and by why it ended early for a stopped or
// failed run.
QString LinkTestSummaryLine(const LinkTestRun& run);
// "reçu", "hors d'ordre", "corrompu", "perdu", "sans réponse" (waiting when the run ended).
QString MessageStatusText(LinkTestRun::MessageStatus status);
