// Start-up time of Setup.exe against an empty Win32 window program, under
// the same Wine in the same run: from just before CreateProcess until the
// program's main window is visible, and until it answers messages (its
// loop runs). For Setup.exe also when the waiting window appears (the
// program has started and begins staging) and when it is gone again
// (staging is over). Runs alternate between the two programs; the first
// run of each is a warm-up and not counted.
//
//   e2e_startup_bench.exe [runs [setup.exe [empty.exe]]]
// runs defaults to 9; the other two, for comparing variants of either
// program, to the ones built here.
#include "Driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace e2e;

namespace {

struct Found {
    DWORD pid;
    const wchar_t* caption;
    HWND window;
};

// Compares the caption that the system keeps, without sending the program
// a message: a program busy staging doesn't answer any.
BOOL CALLBACK findByCaption(HWND window, LPARAM param)
{
    Found* found = (Found*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != found->pid || !IsWindowVisible(window))
        return TRUE;
    wchar_t text[64] = L"";
    InternalGetWindowText(window, text, 64);
    if (wcscmp(text, found->caption) != 0)
        return TRUE;
    found->window = window;
    return FALSE;
}

HWND visibleWindow(DWORD pid, const wchar_t* caption)
{
    Found found = {pid, caption, nullptr};
    EnumWindows(findByCaption, (LPARAM)&found);
    return found.window;
}

struct Timing {
    double waitShown = -1;  // Setup.exe only
    double waitGone = -1;   // Setup.exe only
    double visible = -1;
    double answering = -1;
};

void fail(const std::string& what)
{
    throw Failure("startup bench: " + what);
}

Timing measure(const std::string& exe, const wchar_t* caption, const wchar_t* waitCaption, const Sandbox& place)
{
    Timing timing;
    double start = nowMs();
    Program program = Program::start(exe, place.start(), place.temp());
    const double timeout = 60000;
    HWND window = nullptr;
    while (!window) {
        double now = nowMs() - start;
        if (now > timeout)
            fail("no window from " + exe + " within 60 s");
        if (!program.running())
            fail(exe + " ended before showing its window");
        if (waitCaption) {
            bool waitShown = visibleWindow(program.pid(), waitCaption) != nullptr;
            if (waitShown && timing.waitShown < 0)
                timing.waitShown = now;
            if (!waitShown && timing.waitShown >= 0 && timing.waitGone < 0)
                timing.waitGone = now;
        }
        window = visibleWindow(program.pid(), caption);
        if (window)
            timing.visible = nowMs() - start;
        else
            Sleep(1);
    }
    DWORD_PTR result;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result))
        fail(exe + " does not answer");
    timing.answering = nowMs() - start;
    program.terminate();
    return timing;
}

double median(std::vector<double> values)
{
    values.erase(std::remove(values.begin(), values.end(), -1.0), values.end());
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void clearDirectory(const std::string& dir)
{
    for (const std::string& entry : listTree(dir))
        if (entry.back() != '\\')
            removePath(joinPath(dir, entry));
}

int run(int runs, const std::string& setup, const std::string& empty)
{
    Sandbox place("startup-bench");
    std::vector<Timing> setupRuns, emptyRuns;
    printf("run   empty: visible answering   Setup.exe: wait shown  wait gone  visible  answering (ms)\n");
    for (int i = 0; i <= runs; i++) {
        Timing e = measure(empty, L"Empty window", nullptr, place);
        Timing s = measure(setup, L"Installation", L"Please wait...", place);
        clearDirectory(place.temp());
        printf("%3d%s %8.1f %9.1f %22.1f %10.1f %8.1f %10.1f\n", i, i == 0 ? "*" : " ", e.visible, e.answering,
               s.waitShown, s.waitGone, s.visible, s.answering);
        if (i == 0)
            continue;  // warm-up
        emptyRuns.push_back(e);
        setupRuns.push_back(s);
    }
    auto medianOf = [](const std::vector<Timing>& timings, double Timing::*field) {
        std::vector<double> values;
        for (const Timing& t : timings)
            values.push_back(t.*field);
        return median(values);
    };
    double emptyVisible = medianOf(emptyRuns, &Timing::visible);
    double emptyAnswering = medianOf(emptyRuns, &Timing::answering);
    double setupVisible = medianOf(setupRuns, &Timing::visible);
    double setupAnswering = medianOf(setupRuns, &Timing::answering);
    printf("(* warm-up, not counted)\n");
    printf("medians of %d runs (ms):\n", runs);
    printf("  empty window program: visible %.1f, answering %.1f\n", emptyVisible, emptyAnswering);
    printf("  Setup.exe: waiting window shown %.1f, gone %.1f; wizard visible %.1f, answering %.1f\n",
           medianOf(setupRuns, &Timing::waitShown), medianOf(setupRuns, &Timing::waitGone), setupVisible,
           setupAnswering);
    printf("ratio Setup.exe / empty window: visible %.2f, answering %.2f\n", setupVisible / emptyVisible,
           setupAnswering / emptyAnswering);
    // Each run's pair was measured back to back, under the same load.
    std::vector<double> pairRatios;
    for (size_t i = 0; i < setupRuns.size(); i++)
        pairRatios.push_back(setupRuns[i].visible / emptyRuns[i].visible);
    printf("median of the runs' own ratios (visible): %.2f\n", median(pairRatios));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    int runs = argc > 1 ? atoi(argv[1]) : 9;
    if (runs < 1)
        runs = 1;
    try {
        std::string setup = argc > 2 ? windowsPath(argv[2]) : setupExe();
        std::string empty = argc > 3 ? windowsPath(argv[3]) : windowsPath(E2E_EMPTY_WINDOW_EXE);
        return run(runs, setup, empty);
    } catch (const std::exception& error) {
        fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
