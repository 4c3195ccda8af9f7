#include "ThreadPolicy.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace gif2swf {

void scheduleAsBatchWork() {
#if defined(__linux__) && defined(SCHED_BATCH)
    sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
#endif
}

} // namespace gif2swf
