// One run at a time writes a set of results (a folder and a generic name): a
// second run with the same names waits until the first one is done, so that
// the set in place is always the complete set of one run.
#pragma once

#include <iosfwd>
#include <string>

class ResultsLock {
public:
    ResultsLock() = default;
    ~ResultsLock() { release(); }
    ResultsLock(const ResultsLock&) = delete;
    ResultsLock& operator=(const ResultsLock&) = delete;

    // Takes the lock of the results `generic` in `folder` (a hidden file
    // ".<generic>.lock" there), waiting for another run that holds it and
    // saying so on `err`.  A folder where the lock cannot be created is left
    // to the creation of the results, which names the problem.
    void take(const std::string& folder, const std::string& generic, std::ostream& err);
    // Removes the lock file and lets a waiting run go on.
    void release();
    // A run that writes no file (its results in memory) takes no lock.
    void never() { never_ = true; }

private:
    int fd_ = -1;
    std::string path_;
    bool never_ = false;
};
