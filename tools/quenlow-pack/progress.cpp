#include "progress.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

constexpr int kBarWidth = 30;

int64_t nowMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void draw(const PackProgress& progress) {
    double part = progress.totalBytes == 0
                      ? 1.0
                      : double(progress.doneBytes) / double(progress.totalBytes);
    int filled = static_cast<int>(part * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d %%  %llu/%llu files  %.1f/%.1f MB", bar,
                 static_cast<int>(part * 100), static_cast<unsigned long long>(progress.doneFiles),
                 static_cast<unsigned long long>(progress.totalFiles), progress.doneBytes / 1e6,
                 progress.totalBytes / 1e6);
    std::fflush(stderr);
}

} // namespace

void startProgress(PackProgress* progress, uint64_t files, uint64_t bytes) {
    progress->shown = isatty(STDERR_FILENO) != 0;
    progress->totalFiles = files;
    progress->totalBytes = bytes;
    progress->lastDrawn = nowMilliseconds();
    if (progress->shown)
        draw(*progress);
}

void advanceProgress(PackProgress* progress, uint64_t bytes) {
    ++progress->doneFiles;
    progress->doneBytes += bytes;
    if (!progress->shown)
        return;
    int64_t now = nowMilliseconds();
    if (now - progress->lastDrawn >= 100 || progress->doneFiles == progress->totalFiles) {
        progress->lastDrawn = now;
        draw(*progress);
    }
}

void endProgress(PackProgress* progress) {
    if (progress->shown)
        std::fprintf(stderr, "\r%*s\r", kBarWidth + 60, "");
    progress->shown = false;
}
