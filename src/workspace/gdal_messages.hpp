// GDAL within the program: its drivers registered once, its datasets closed
// by their owner, and its messages kept off the console (the run's own error
// texts quote them).
#pragma once

#include <memory>
#include <string>

#include <cpl_conv.h>
#include <gdal.h>

// Registers GDAL's drivers, once for the process.
void gdal_ready();

// Within its scope, GDAL's messages on the calling thread (GDAL keeps them per
// thread) are kept here instead of printed.
class GdalMessages {
public:
    GdalMessages();
    ~GdalMessages();
    GdalMessages(const GdalMessages&) = delete;
    GdalMessages& operator=(const GdalMessages&) = delete;

    // The text of the first failure reported since the start of the scope or
    // clear(), without GDAL's "ERROR n: " prefix; `otherwise` when none.
    std::string failure(const std::string& otherwise) const;
    bool failed() const { return failed_; }
    // The first warning since the start of the scope or clear() (GEOS gives
    // its reasons so), empty when none.
    const std::string& warning() const { return warning_; }
    void clear();

private:
    static void handler(CPLErr level, CPLErrorNum number, const char* text);
    std::string failure_, warning_;
    bool failed_ = false;
};

// A GDAL setting for the calling thread, within a scope.
class ThreadSetting {
public:
    ThreadSetting(const char* key, const char* value) : key_(key)
    {
        const char* old = CPLGetThreadLocalConfigOption(key, nullptr);
        had_ = old != nullptr;
        if (old) old_ = old;
        CPLSetThreadLocalConfigOption(key, value);
    }
    ~ThreadSetting() { CPLSetThreadLocalConfigOption(key_, had_ ? old_.c_str() : nullptr); }
    ThreadSetting(const ThreadSetting&) = delete;
    ThreadSetting& operator=(const ThreadSetting&) = delete;

private:
    const char* key_;
    std::string old_;
    bool had_ = false;
};

struct GdalClose {
    void operator()(void* ds) const
    {
        if (ds) GDALClose(static_cast<GDALDatasetH>(ds));
    }
};
using GdalDataset = std::unique_ptr<void, GdalClose>;
