/* The least a settings read can cost when it must see another process's edit
 * at the moment of use: one stat() of the settings file. Prints the best CPU
 * time of the thread per call in nanoseconds over ROUNDS rounds of N calls.
 *   anchor_prefs FILE N ROUNDS */
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

static double threadNs(void) {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const long n = atol(argv[2]);
    const int rounds = atoi(argv[3]);
    double best = -1;
    long seen = 0;
    for (int r = 0; r < rounds; ++r) {
        const double start = threadNs();
        for (long i = 0; i < n; ++i) {
            struct stat st;
            if (stat(argv[1], &st) == 0)
                seen += st.st_size > 0;
        }
        const double per = (threadNs() - start) / n;
        if (best < 0 || per < best)
            best = per;
    }
    printf("%.1f\n", seen >= 0 ? best : 0.0);
    return 0;
}
