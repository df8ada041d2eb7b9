#pragma once

#include <string>

struct termios;

// A run stopped by Ctrl-C, the quit key, a closed terminal, kill or a closed
// pipe (SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE) removes the results it was
// writing, gives the terminal back as it found it, and then ends as the
// signal would have ended it.  Only the program installs the handlers; tests and harnesses that run in one process
// keep the default behaviour.
void clean_up_on_interrupt();

// Around the creation of a file and its remove_on_interrupt, and around the
// renaming of the results into place: a signal that comes in between ends
// the run once that is done.  The holds nest.
void begin_creating();
void end_creating();
class SignalsHeld {
public:
    SignalsHeld() { begin_creating(); }
    ~SignalsHeld() { end_creating(); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};

// `path` is a file of this run's own, to remove if the run is interrupted
// (the temporary file of a result).  Paths beyond PATH_MAX, or more than 64
// files at once, are not followed.
void remove_on_interrupt(const std::string& path);
// `path` is no longer to be removed (renamed into place, or already removed).
void keep_after_interrupt(const std::string& path);

// The terminal settings to put back if the run is interrupted while the
// terminal is in another mode (the closing key wait), or none.
void restore_terminal_on_interrupt(const termios* saved);
