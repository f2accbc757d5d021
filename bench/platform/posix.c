#include "platform.h"

#include <time.h>

void minimal_pause(void) {
    const struct timespec pause = {0, 10000};
    nanosleep(&pause, NULL);
}

void minimal_mend_title(void) {}
