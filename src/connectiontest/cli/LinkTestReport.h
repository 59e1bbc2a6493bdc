#pragma once
// What orvalis-linktest prints about a run that has ended: text for people
// (English, latencies in milliseconds with three decimals) or one JSON object
// (latencies in microseconds), with the route, the settings, the counts, the
// latency figures of LatencyStats (the window's) and the outcome; and the exit
// status that the outcome calls for. Any thread; the run is only read.

#include <QJsonObject>
#include <QString>

#include <cstdint>

#include "CsvExport.h"
#include "LinkTestRun.h"

// How a run ends for a script.
enum LinkTestExit : int {
  LinkTestPassed = 0,  // every message came back, intact and in order
  LinkTestFaults = 1,  // some were lost, changed, doubled or out of order
  LinkTestError = 2,   // bad arguments, a device that cannot be opened or went away, a file
};

// What a report is made of; `Error` says why the run could not be completed
// (empty when it was).
struct LinkTestOutcome {
  const LinkTestRun& Run;
  LinkTestRoute Route;
  uint64_t Seed = 0;  // of the random moments, so that the run can be made again
  QString Error;
};

LinkTestExit LinkTestExitStatus(const LinkTestOutcome& outcome);
// One line, "every message came back intact and in order", "100 lost, 2
// out of order", or the error.
QString LinkTestVerdict(const LinkTestOutcome& outcome);
QString LinkTestReportText(const LinkTestOutcome& outcome);
QJsonObject LinkTestReportJson(const LinkTestOutcome& outcome);
