// Runs the metronome for one simulated hour at 240 beats per minute with colour on, as fast as the
// simulator goes, and prints the wall time, the number of clicks and whether the schedule drifted.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

int main() {
    char pattern[] = "/tmp/cadenzo-bench-XXXXXX";
    std::string dir = mkdtemp(pattern);
    {
        std::ofstream settings(dir + "/Cadenzo.ini", std::ios::binary);
        const char record[7] = {char(210), 0, 1, 0, 3, 1, 1};  // 240 beats per minute, 4/4, sound and colour on
        settings.write(record, 7);
        std::ofstream(dir + "/script.txt") << "tap 61 88\nwait 3600000\nkey ctrl+q\n";
    }
    std::string command =
        std::string(CADENZO_SIM) + " --dir " + dir + " " + dir + "/script.txt > " + dir + "/trace.txt";
    auto begin = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (status != 0) {
        std::fprintf(stderr, "the simulator failed (%d)\n", status);
        return 1;
    }
    struct rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);

    std::ifstream trace(dir + "/trace.txt");
    long clicks = 0, off = 0, last = 0, strong = 0;
    for (std::string line; std::getline(trace, line);) {
        std::istringstream in(line);
        long t;
        std::string what;
        int id;
        if (!(in >> t >> what >> id) || what != "sound") continue;
        ++clicks;
        if (t != clicks * 250) ++off;  // beat k is due exactly k x 250 ms after the start
        strong += id == 1025;
        last = t;
    }
    std::printf("simulated:          1 hour at 240 beats per minute, 4/4, colour on\n");
    std::printf("wall time:          %.3f s (target: under 2 s)\n", seconds);
    std::printf("CPU time:           %.3f s user, %.3f s system\n",
                usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
                usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6);
    std::printf("peak memory:        %ld KiB\n", usage.ru_maxrss);
    std::printf("clicks:             %ld (expected 14400), strong accents %ld (expected 3600)\n", clicks, strong);
    std::printf("last click at:      %ld ms (expected 3600000)\n", last);
    std::printf("clicks off the schedule: %ld -> %s\n", off, off == 0 && clicks == 14400 ? "no drift" : "DRIFT");
    return off == 0 && clicks == 14400 ? 0 : 1;
}
