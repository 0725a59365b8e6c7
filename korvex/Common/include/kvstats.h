/* Korvex timing and traffic statistics.
 *
 * Timings: after MonitorTiming, StartTiming / StopTiming measure named pieces of work
 * per thread (a timing is identified by its name, the caller's number and the thread).
 * The "TIMN" thread writes, every period, the runs completed since its last report
 * (count, min, max and average in microseconds) to "events.log" beside the host
 * program, and forgets timings that are not running. With wait timings on, a timing
 * started with wait set measures time spent waiting inside the thread's running plain
 * timing.
 *
 * Latency classes: UpdateTradeTiming / UpdateOrderTiming sort values (microseconds)
 * into fast (up to 1,000,000) and slow; they are reported and reset by "TIMN".
 *
 * Traffic: TrafficTrace adds bytes per 16-bit message code, incoming or outgoing, while
 * section "traffic_trace" of "varnek.ini" has enable=1; the "TRAF" thread reports and
 * resets the totals every "period" seconds (default 600).
 *
 * Any thread may call any of these. All use the C calling convention.
 */
#ifndef KORVEX_KVSTATS_H
#define KORVEX_KVSTATS_H

#include "pclib.h" /* KORVEX_API, KORVEX_CALL */

#ifdef __cplusplus
extern "C" {
#else
#include <stdbool.h>
#endif

/* Microseconds since the library was loaded (0 without a high-resolution counter). */
KORVEX_API double KORVEX_CALL GetHRTimer(void);

/* Starts the timing reporter "TIMN" with a period in milliseconds (0 or less: one
 * second) and wait timings on when wait_timings is non-zero. Answers non-zero when the
 * reporter runs; a second call starts nothing more and changes nothing. */
KORVEX_API int KORVEX_CALL MonitorTiming(int period_ms, int wait_timings);

/* Starts a timing; false for a null name, before MonitorTiming, or for a wait timing
 * on a thread whose last running timing is not a plain one. */
KORVEX_API bool KORVEX_CALL StartTiming(const char* name, int number, bool wait);
/* Stops a timing and answers the microseconds measured (0 for a null name or before
 * MonitorTiming). A timing never started is measured from the library's load. */
KORVEX_API double KORVEX_CALL StopTiming(const char* name, int number, bool wait);

KORVEX_API void KORVEX_CALL UpdateTradeTiming(double micros);
KORVEX_API void KORVEX_CALL UpdateOrderTiming(double micros);

/* Adds bytes to the total of a message code (a negative count is ignored). */
KORVEX_API void KORVEX_CALL TrafficTrace(unsigned short code, int bytes, bool incoming);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* KORVEX_KVSTATS_H */
