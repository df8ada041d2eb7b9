// tephromat._core: the engine of `tephromat measure` for the Python package.
// The pure-Python layer (python/tephromat) turns keyword arguments into the
// command's arguments; here they are parsed by parse_measure and run by
// run_measure on a workspace whose results stay in memory (or are written,
// when out= is given), the GIL released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cxxabi.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>

#include "array_lecture.hpp"
#include "coordinates.hpp"
#include "measure.hpp"
#include "nodata.hpp"
#include "parallel.hpp"
#include "workspace.hpp"

namespace py = pybind11;

namespace {

// Status of a run stopped from Python (Ctrl-C, an exception raised by the
// progress callback), as a shell reports a SIGINT.
constexpr int stopped_status = 130;

// What the run and the waiting Python thread share: the progress so far, and
// the stop the Python side asks for.
struct Watch {
    std::mutex m;
    std::string stage;
    double fraction = 0;
    bool changed = false;
    std::atomic<bool> stop{false};
    // The engine's hook: quick, from any thread.
    void hook(const char* s, std::int64_t done, std::int64_t total)
    {
        if (stop.load(std::memory_order_relaxed)) throw RunEnd{stopped_status, "\n\tError : stopped\n"};
        if (!s) return;
        std::lock_guard<std::mutex> lock(m);
        stage = s;
        fraction = total > 0 ? double(done) / double(total) : 0.0;
        changed = true;
    }
};

DemArray::Type sample_type(const py::dtype& d)
{
    const char kind = d.kind();
    const auto size = d.itemsize();
    if (!d.attr("isnative").cast<bool>()) throw py::value_error("dem: the array's samples are not in the machine's byte order");
    if (kind == 'f' && size == 4) return DemArray::f32;
    if (kind == 'f' && size == 8) return DemArray::f64;
    if (kind == 'i' && size == 1) return DemArray::i8;
    if (kind == 'i' && size == 2) return DemArray::i16;
    if (kind == 'i' && size == 4) return DemArray::i32;
    if (kind == 'i' && size == 8) return DemArray::i64;
    if (kind == 'u' && size == 1) return DemArray::u8;
    if (kind == 'u' && size == 2) return DemArray::u16;
    if (kind == 'u' && size == 4) return DemArray::u32;
    if (kind == 'u' && size == 8) return DemArray::u64;
    throw py::value_error("dem: the array holds " + d.attr("name").cast<std::string>() +
                          " samples; heights must be floating-point numbers of 16, 32 or 64 bits, or integers");
}

// A grid of the workspace as a new array of doubles owned by Python, NaN
// where `keep` says there is no value.
// Runs `f` without the GIL.  The GIL is taken back outside any destructor
// (not as gil_scoped_release does): when Python is ending, taking it ends
// this thread by an unwinding that a destructor may not let through.
template <class F>
void without_gil(F&& f)
{
    PyThreadState* state = PyEval_SaveThread();
    try {
        f();
    } catch (...) {
        PyEval_RestoreThread(state);
        throw;
    }
    PyEval_RestoreThread(state);
}

template <class Value, class Keep>
py::array_t<double> float_grid(const Workspace& ws, Value value, Keep keep)
{
    py::array_t<double> made({py::ssize_t(ws.nb_lig), py::ssize_t(ws.nb_col)});
    double* out = made.mutable_data();
    const int nc = ws.nb_col;
    // Held by a plain pointer while the GIL is away: a thread that Python
    // ends on taking it back must not free the array without it.
    PyObject* a = made.release().ptr();
    without_gil([&] {
        parallel_rows(0, ws.nb_lig, std::size_t(nc), [&](int first, int last) {
            for (int i = first; i < last; ++i)
                for (int j = 0; j < nc; ++j)
                    out[std::size_t(i) * std::size_t(nc) + std::size_t(j)] =
                        keep(i, j) ? value(i, j) : std::numeric_limits<double>::quiet_NaN();
        });
    });
    return py::reinterpret_steal<py::array_t<double>>(a);
}

// What the Python layer reads from a finished run.
py::dict results_of(const Workspace& ws, bool measured)
{
    py::dict r;
    py::list warnings;
    for (const Workspace::Warning& w : ws.warnings) warnings.append(py::make_tuple(w.code, w.text));
    r["warnings"] = warnings;
    py::dict texts;
    for (const auto& m : ws.memory_files)
        texts[py::bytes(m->name)] = py::bytes(m->data ? std::string(m->data, m->size) : std::string());
    r["texts"] = texts;
    // The results this run put in place (an earlier run's beside them are not its own).
    py::list written;
    for (const std::string& name : ws.placed_results) written.append(py::bytes(name));
    r["written"] = written;
    r["nomgene"] = py::bytes(ws.nomgene);  // names as the file system has them: decoded by the package
    r["lines"] = ws.nb_lig;
    r["columns"] = ws.nb_col;
    if (ws.nb_lig > 0) {
        const Georef g = dem_georef(ws);
        r["transform"] = py::make_tuple(g.gt[0], g.gt[1], g.gt[2], g.gt[3], g.gt[4], g.gt[5]);
        r["georeferenced"] = g.known;
        r["crs_wkt"] = g.wkt;
        r["epsg"] = g.epsg;
    }
    if (!measured || !ws.itab || !ws.itab_eros || !ws.present_slopes) return r;
    // The output DEMs' samples (rebuilt_outputs left them in the output
    // unit) read back as GDAL gives them with the band's scale.
    const double scale = 1.0 / ws.coeff_rc;
    auto with_data = [&](int i, int j) { return !without_data(ws, i, j); };
    r["rebuilt"] = float_grid(ws, [&](int i, int j) { return double(ws.itab[i][j]) * scale; }, with_data);
    r["erosion"] = float_grid(ws, [&](int i, int j) { return double(ws.itab_eros[i][j]) * scale; }, with_data);
    // The slope of the interior cells; the border has none.
    const int nl = ws.nb_lig, nc = ws.nb_col;
    r["slope"] = float_grid(
        ws, [&](int i, int j) { return double(ws.present_slopes[i][j]); },
        [&](int i, int j) { return i > 0 && j > 0 && i < nl - 1 && j < nc - 1 && !without_data(ws, i, j); });
    py::array_t<bool> edifice({py::ssize_t(nl), py::ssize_t(nc)});
    bool* e = edifice.mutable_data();
    for (std::size_t k = 0, n = std::size_t(nl) * std::size_t(nc); k < n; ++k) e[k] = ws.present_edifice.data()[k] == 1;
    r["edifice"] = edifice;
    return r;
}

// Runs `tephromat measure` with `args` (the arguments after "measure"); `dem`
// is a 2-D array to measure instead of a file (None for a file), with
// `array_options` its nodata, transform, pixel size and crs.  The results stay
// in memory unless `in_memory` is false.  `progress` (None or a callable)
// receives the stage and its fraction, at most ten times a second.
py::dict measure(const std::vector<std::string>& args, py::object dem, py::dict array_options, bool in_memory,
                 py::object progress)
{
    MeasureRequest r;
    try {
        r = parse_measure(args);
    } catch (const UsageError& e) {
        throw py::value_error(e.message);
    } catch (const ShowText& t) {
        py::dict d;
        d["status"] = 0;
        d["text"] = py::bytes(t.text);
        return d;
    }

    // The array: read where it lies, through its strides (copied once, into
    // the workspace's grids).
    DemArray a;
    py::array samples;
    if (!dem.is_none()) {
        if (!py::isinstance<py::array>(dem)) throw py::value_error("dem: not a numpy array");
        samples = py::reinterpret_borrow<py::array>(dem);
        if (samples.ndim() != 2)
            throw py::value_error("dem: a 2-D array of heights is needed, not one of " + std::to_string(samples.ndim()) +
                                  " dimensions");
        a.type = sample_type(samples.dtype());
        a.data = samples.data();
        a.lines = samples.shape(0);
        a.columns = samples.shape(1);
        if (a.lines < 1 || a.columns < 1)
            throw py::value_error("dem: the array holds no cell (" + std::to_string(a.lines) + " x " +
                                  std::to_string(a.columns) + ")");
        a.line_stride = samples.strides(0);
        a.column_stride = samples.strides(1);
        if (array_options.contains("nodata") && !array_options["nodata"].is_none()) {
            a.nodata_given = true;
            a.nodata = array_options["nodata"].cast<double>();
        }
        if (array_options.contains("transform") && !array_options["transform"].is_none()) {
            const auto t = array_options["transform"].cast<std::vector<double>>();
            if (t.size() != 6) throw py::value_error("transform: six terms are needed, in GDAL's order");
            a.has_transform = true;
            std::copy(t.begin(), t.end(), a.transform.begin());
        }
        if (array_options.contains("pixel_size") && !array_options["pixel_size"].is_none())
            a.pixel_size = array_options["pixel_size"].cast<double>();
        if (array_options.contains("crs") && !array_options["crs"].is_none())
            a.crs = array_options["crs"].cast<std::string>();
        r.params.format = RunParameters::array;
        r.params.dem_array = &a;
        // The pixel size belongs to the array's description.
        r.params.dpix_size = 0;
    }

    std::istringstream no_answers;
    std::ostringstream transcript, errors, results;
    auto ws = std::make_unique<Workspace>(no_answers, transcript);
    ws->err = &errors;
    if (in_memory) {
        ws->results_in_memory = true;
        ws->lock.never();
    }
    Watch watch;
    ws->progress.set_hook([&watch](const char* s, std::int64_t d, std::int64_t t) { watch.hook(s, d, t); });
    // Each stage as it starts, at 0.
    ws->on_stage = [&watch](const char* s) { watch.hook(s, 0, 1); };

    // The run on a thread of its own; this thread waits, without the GIL,
    // waking ten times a second to let Python see its signals (Ctrl-C) and
    // to call the progress callback.
    int status = 0;
    std::exception_ptr crashed;
    bool done = false;
    std::mutex m;
    std::condition_variable cv;
    std::unique_ptr<py::error_already_set> python_error;
    {
        // The GIL is given back by hand: a daemon thread that Python ends at
        // its exit (it never takes the GIL again) must not take it again on
        // the way out either.
        PyThreadState* saved = PyEval_SaveThread();
        set_thread_count(r.threads);
        std::thread run([&] {
            // Every task the run shares out checks the stop: Ctrl-C ends it
            // within a task's time.
            StopScope scope(&watch.stop);
            try {
                status = run_measure(*ws, r, results);
            } catch (...) {
                crashed = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(m);
            done = true;
            cv.notify_all();
        });
        auto stop_and_wait = [&] {
            watch.stop.store(true);
            run.join();
        };
        try {
            for (;;) {
                {
                    std::unique_lock<std::mutex> lock(m);
                    if (cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) break;
                }
                if (watch.stop.load()) continue;
                // The GIL through this thread's own state: pybind11's
                // gil_scoped_acquire would make a new state when Python, at
                // its exit, has already cleared this one (a daemon thread),
                // where PyEval_RestoreThread ends the thread as Python ends
                // its daemon threads.
                struct Held {
                    PyThreadState*& state;
                    bool owned = true;  // false once Python has ended the thread in the callback
                    explicit Held(PyThreadState*& s) : state(s) { PyEval_RestoreThread(state); }
                    ~Held()
                    {
                        if (owned) state = PyEval_SaveThread();
                    }
                    Held(const Held&) = delete;
                    Held& operator=(const Held&) = delete;
                } locked(saved);
                try {
                    if (PyErr_CheckSignals() != 0) {
                        python_error = std::make_unique<py::error_already_set>();
                        watch.stop.store(true);
                        continue;
                    }
                    if (progress.is_none()) continue;
                    std::string stage;
                    double fraction = 0;
                    {
                        std::lock_guard<std::mutex> lock(watch.m);
                        if (!watch.changed) continue;
                        watch.changed = false;
                        stage = watch.stage;
                        fraction = watch.fraction;
                    }
                    // Through the C API, with no object of pybind11's alive in
                    // the call: the callback may give the GIL away (a sleep)
                    // and Python end the thread there, whose unwinding must
                    // free nothing.
                    if (PyObject* back = PyObject_CallFunction(progress.ptr(), "sd", stage.c_str(), fraction)) {
                        Py_DECREF(back);
                    } else {
                        python_error = std::make_unique<py::error_already_set>();
                        watch.stop.store(true);
                    }
                } catch (abi::__forced_unwind&) {
                    locked.owned = false;  // the thread holds no GIL now
                    throw;
                }
            }
        } catch (abi::__forced_unwind&) {  // the interpreter is ending this thread
            stop_and_wait();
            throw;
        } catch (...) {
            stop_and_wait();
            PyEval_RestoreThread(saved);
            throw;
        }
        run.join();
        PyEval_RestoreThread(saved);
    }
    if (python_error) {
        ws.reset();
        throw *python_error;
    }
    if (crashed) std::rethrow_exception(crashed);

    py::dict out;
    out["status"] = status;
    // Bytes: the report is Latin-1, the messages name files as they are.
    out["errors"] = py::bytes(errors.str());
    out["text"] = py::bytes(results.str());
    out["command_line"] = py::bytes(r.command_line);
    const bool measured = status == 0 && !r.dry_run && !r.sweep;
    {
        py::dict got = results_of(*ws, measured && in_memory);
        for (auto item : got) out[item.first] = item.second;
    }
    PyObject* held = out.release().ptr();  // as in float_grid
    without_gil([&] { ws.reset(); });      // its grids go back before Python goes on
    return py::reinterpret_steal<py::dict>(held);
}

}  // namespace

PYBIND11_MODULE(_core, m)
{
    m.doc() = "The engine of tephromat measure (use the tephromat package, not this module).";
    m.attr("version") = TEPHROMAT_VERSION;
    m.def("measure", &measure, py::arg("args"), py::arg("dem"), py::arg("array_options"), py::arg("in_memory"),
          py::arg("progress"));
    m.def("options", [] {
        py::list l;
        for (const MeasureOption& o : measure_options()) {
            py::dict d;
            d["name"] = o.name;
            d["type"] = o.type;
            d["default"] = o.default_text;
            d["description"] = o.description;
            d["flag"] = o.flag;
            d["required"] = o.required;
            l.append(d);
        }
        return l;
    });
}
