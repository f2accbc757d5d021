/*
 * What the polling pause alone costs: a loop of nothing but the 10 µs nanosleep that the jukebox
 * makes between two empty polls, for SECONDS (default 5). Prints the share of one core it used,
 * the loops per second and the time one pause really takes.
 */
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

static double seconds(struct timespec t) {
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static double cpu_seconds(void) {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (double)usage.ru_utime.tv_sec + (double)usage.ru_utime.tv_usec / 1e6 +
           (double)usage.ru_stime.tv_sec + (double)usage.ru_stime.tv_usec / 1e6;
}

int main(int argc, char** argv) {
    double length = argc > 1 ? atof(argv[1]) : 5.0;
    const struct timespec pause = {0, 10000};
    struct timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    double cpu = cpu_seconds();
    long loops = 0;
    do {
        nanosleep(&pause, NULL);
        ++loops;
        clock_gettime(CLOCK_MONOTONIC, &now);
    } while (seconds(now) - seconds(start) < length);
    double elapsed = seconds(now) - seconds(start);
    cpu = cpu_seconds() - cpu;
    printf("cpu %.2f %% loops/s %.0f pause_us %.1f\n", 100.0 * cpu / elapsed,
           (double)loops / elapsed, 1e6 * elapsed / (double)loops);
    return 0;
}
