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

extern "C" void on_interrupt(int sig)
{
    for (Slot& s : slots)
        if (s.state.load() == followed) unlink(s.path);
    if (terminal_saved.load()) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

}  // namespace

void clean_up_on_interrupt()
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigfillset(&action.sa_mask);
    for (int sig : {SIGINT, SIGHUP, SIGTERM}) {
        struct sigaction before {};
        // A signal ignored when the program started (nohup) stays ignored.
        if (sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(sig, &action, nullptr);
    }
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
