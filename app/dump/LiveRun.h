#pragma once

#include "app/dump/DumpArguments.h"

class CallReports;
class KvIAXCapture;
class QCoreApplication;

// Starts quorvex-dump's live run and what watches it on the main thread: a
// stop on SIGINT or SIGTERM, the --duration deadline, a reader of standard
// output that went away, and, where there is one, the reports of calls that
// ended (every 5 s) and of the streams still going (every
// --hep-report-interval).
void startLiveRun(QCoreApplication& app, KvIAXCapture& capture, const DumpArguments& args,
                  CallReports* reports);
