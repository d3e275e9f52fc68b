/* The physical limit of a folder scan: walk the tree with readdir and, for
 * every regular file, stat + open + read 64 bytes + close. Prints the best
 * CPU time of the thread in milliseconds over REPS runs (the first run warms
 * the page cache, exactly as the bench does for the scanner).
 *   anchor_scan DIR REPS */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static long files;

static void walk(const char* dir, int depth) {
    DIR* d = opendir(dir);
    if (!d)
        return;
    struct dirent* ent;
    char path[4096];
    while ((ent = readdir(d))) {
        if (ent->d_name[0] == '.')
            continue;
        snprintf(path, sizeof path, "%s/%s", dir, ent->d_name);
        if (ent->d_type == DT_DIR) {
            if (depth < 3)
                walk(path, depth + 1);
            continue;
        }
        struct stat st;
        if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char buf[64];
        if (read(fd, buf, sizeof buf) > 0)
            ++files;
        close(fd);
    }
    closedir(d);
}

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: anchor_scan DIR [REPS]\n");
        return 2;
    }
    int reps = argc > 2 ? atoi(argv[2]) : 5;
    double best = -1;
    walk(argv[1], 0); /* warm-up, untimed */
    for (int i = 0; i < reps; ++i) {
        files = 0;
        double start = now_ms();
        walk(argv[1], 0);
        double ms = now_ms() - start;
        if (best < 0 || ms < best)
            best = ms;
    }
    printf("%.3f %ld\n", best, files);
    return 0;
}
