#pragma once

// How the converter's threads ask the system to schedule them: the one place that does.
namespace gif2swf {

// The calling thread does throughput work (deflating) for stages that feed it. On Linux it
// becomes SCHED_BATCH: the same share of the processor, but when woken it waits for its
// turn instead of preempting the thread running, which is most often the serial writer that
// every other stage waits on; and it is made nicer than the thread that started it, so that
// the serial stages get the larger share while all are busy. Elsewhere nothing changes. A
// refusal is ignored.
void scheduleAsBatchWork();

} // namespace gif2swf
