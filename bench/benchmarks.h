// The benchmarks that bench_all runs; each prints its details and adds its
// rows to the report.
#pragma once

#include "report.h"

namespace bench {

// A reader command through the whole first-make stack vs the raw
// pseudo-terminal round trip; the CPU time of an idle link's thread.
void linkRoundTrip(Report& report, int iterations, int idleSeconds);
// A second-make exchange through Dalrix.so vs the raw round trip.
void dalrixExchange(Report& report, int iterations);
// The frame receiver and the CRCs vs a plain copy.
void throughput(Report& report);

} // namespace bench
