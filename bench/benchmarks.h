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
// The tag mapping library in realistic timing mode, every family: a book
// write vs the modelled wire and air time; tag-to-callback latency of
// continuous reading vs two read sessions plus one reporting cycle.
void tagging(Report& report, int writes, int placements);
// The CPU time of the desktop program connected to a reader and idle
// (skipped when the program is not built).
void idleProgram(Report& report, int seconds);

} // namespace bench
