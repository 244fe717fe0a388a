/* Times commands side by side, one run of each in turn.
 *
 *   interleave RUNS WARMUP COMMAND [ARG...] [-- COMMAND [ARG...]]...
 *
 * Each round runs every command once, in the order given, with standard
 * output and standard error going to /dev/null, and measures the wall time
 * from fork to the end of wait. After WARMUP rounds that are not counted, RUNS
 * rounds are. Prints one line per command: its median and mean in seconds and
 * the command, separated by tabs.
 *
 * On a machine shared with other jobs the speed changes from one second to the
 * next. A tool that runs all the runs of one command and then all of the next
 * (as hyperfine does) gives each command other conditions; taking turns gives
 * every command the same ones, so that their ratios hold. A command that fails
 * stops the timing with its exit status. COMMAND is run as given (execv): name
 * it with its path. */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int compare(const void* a, const void* b) {
    const double x = *(const double*)a;
    const double y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: interleave RUNS WARMUP COMMAND [ARG...] [-- COMMAND [ARG...]]...\n");
        return 2;
    }
    const int runs = atoi(argv[1]);
    const int warmup = atoi(argv[2]);
    if (runs < 1 || warmup < 0) {
        fprintf(stderr, "interleave: RUNS must be at least 1 and WARMUP not negative\n");
        return 2;
    }
    char** commands[64];
    int count = 0;
    commands[count++] = &argv[3];
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0) {
            argv[i] = NULL;
            if (count == 64 || i + 1 >= argc) {
                fprintf(stderr, "interleave: at most 64 commands, none empty\n");
                return 2;
            }
            commands[count++] = &argv[i + 1];
        }
    }
    double* times = malloc(sizeof(double) * (size_t)runs * (size_t)count);
    const int nowhere = open("/dev/null", O_WRONLY);
    if (times == NULL || nowhere < 0) {
        perror("interleave");
        return 2;
    }
    for (int round = -warmup; round < runs; ++round) {
        for (int c = 0; c < count; ++c) {
            struct timespec start;
            struct timespec end;
            clock_gettime(CLOCK_MONOTONIC, &start);
            const pid_t child = fork();
            if (child == 0) {
                dup2(nowhere, 1);
                dup2(nowhere, 2);
                execv(commands[c][0], commands[c]);
                _exit(127);
            }
            int status = 0;
            if (child < 0 || waitpid(child, &status, 0) < 0) {
                perror("interleave");
                return 2;
            }
            clock_gettime(CLOCK_MONOTONIC, &end);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                fprintf(stderr, "interleave: %s failed (status %d)\n", commands[c][0], status);
                return 1;
            }
            if (round >= 0) {
                times[(size_t)c * (size_t)runs + (size_t)round] =
                    (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
            }
        }
    }
    for (int c = 0; c < count; ++c) {
        double* own = times + (size_t)c * (size_t)runs;
        double sum = 0;
        for (int r = 0; r < runs; ++r) {
            sum += own[r];
        }
        qsort(own, (size_t)runs, sizeof(double), compare);
        const double median =
            runs % 2 == 1 ? own[runs / 2] : (own[runs / 2 - 1] + own[runs / 2]) / 2;
        printf("%.9f\t%.9f\t", median, sum / runs);
        for (char** word = commands[c]; *word != NULL; ++word) {
            printf(word == commands[c] ? "%s" : " %s", *word);
        }
        printf("\n");
    }
    free(times);
    return 0;
}
