#include "interrupt.hpp"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

#include <termios.h>
#include <unistd.h>

namespace {

// The handler may only read plain memory and call async-signal-safe
// functions: the paths live in fixed buffers, each with a state that says
// whether it holds a path to remove.
enum : int { free_slot, filling, followed };
constexpr int slot_count = 64;
struct Slot {
    std::atomic<int> state{free_slot};
    char path[PATH_MAX];
};
Slot slots[slot_count];

std::atomic<bool> terminal_saved{false};
termios saved_terminal;

// A file being created is not followed yet, and results being renamed into
// place are half old, half new: a signal that comes then is handled once that
// is done.  `holding` and `dying` are each written by one side and read by
// the other after its own write (sequentially consistent), so that at least
// one side sees the other and ends the run.
std::atomic<int> holding{0};
std::atomic<bool> dying{false};
std::atomic<int> pending_signal{0};

void end_now()
{
    for (Slot& s : slots)
        if (s.state.load() == followed) unlink(s.path);
    if (terminal_saved.load()) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
    const int sig = pending_signal.load();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

extern "C" void on_interrupt(int sig)
{
    pending_signal.store(sig);
    dying.store(true);
    if (holding.load() > 0) return;  // the end of the hold ends the run
    end_now();
}

}  // namespace

void clean_up_on_interrupt()
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigfillset(&action.sa_mask);
    // A console piped into a program that stops reading (head) and the quit
    // key end the run as Ctrl-C does.
    for (int sig : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE}) {
        struct sigaction before {};
        // A signal ignored when the program started (nohup) stays ignored.
        if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(sig, &action, nullptr);
    }
    // A file grown past the limit of `ulimit -f` fails to be written, with an
    // error that names it, instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
}

void remove_on_interrupt(const std::string& path)
{
    if (path.size() >= PATH_MAX) return;
    for (Slot& s : slots) {
        int expected = free_slot;
        if (s.state.compare_exchange_strong(expected, filling)) {
            std::memcpy(s.path, path.c_str(), path.size() + 1);
            s.state.store(followed);
            return;
        }
    }
}

void keep_after_interrupt(const std::string& path)
{
    for (Slot& s : slots) {
        int expected = followed;
        if (s.state.load() == followed && path == s.path) {
            s.state.compare_exchange_strong(expected, free_slot);
            return;
        }
    }
}

void restore_terminal_on_interrupt(const termios* saved)
{
    if (saved) {
        terminal_saved.store(false);
        saved_terminal = *saved;
    }
    terminal_saved.store(saved != nullptr);
}

void begin_creating()
{
    holding.fetch_add(1);
    if (dying.load()) end_now();
}

void end_creating()
{
    if (holding.fetch_sub(1) == 1 && dying.load()) end_now();
}
