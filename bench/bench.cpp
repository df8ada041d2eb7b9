// tephromat_bench: runs the whole program on synthetic volcanoes of growing
// size on all threads and on one, times each stage (wall and CPU) and the peak
// memory, times `gdaldem slope` and `gdaldem hillshade` on the same grid, then
// runs the straightforward stages on the same DEM; every run's outputs must be
// byte-identical.
//
// Each run is a forked child, so that its peak resident memory is its own and
// a run over the time limit can be killed.  The child reports the stage
// starts over a pipe; the parent prints them as they come.

#include <poll.h>
#include <sys/resource.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "measure.hpp"
#include "parallel.hpp"
#include "reference.hpp"
#include "run.hpp"
#include "program_stages.hpp"
#include "synthetic_dem.hpp"
#include "workspace.hpp"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The slope angles run beside the slice analysis, the radial sections and the
// surface of the present relief beside the interpolation, the products beside
// the output DEMs.
constexpr const char* stage_names[] = {"opening",  "parameters2", "treatment+angles", "edifice_shape", "sections+surface+interp",
                                       "rec_volc", "outputs+products"};
constexpr int n_stages = 7;  // then "end"

struct Options {
    std::vector<int> sizes;
    bool reference = true;
    bool single = true;  // the run on one thread
    bool gdal = true;
    double limit = 300;  // seconds per run
    bool esri = false;
    bool keep = false;
    bool measure = true;  // the runs of `tephromat measure`
    bool sweep = false;   // a sweep of 20 base lines beside one run
};

struct Outcome {
    enum State { done, failed, over } state = failed;
    std::string why;           // for a failed run
    double stage[n_stages]{};      // wall seconds
    double stage_cpu[n_stages]{};  // CPU seconds of the process (every thread)
    double total = 0;
    double cpu = 0;  // user + system seconds: a check on the wall times of a busy machine
    double kernel = 0;  // system seconds, mostly the first touch of fresh pages
    long faults = 0;    // minor page faults
    long peak_kib = 0;
};

double seconds_since(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void write_all(int fd, const std::string& s)
{
    for (std::size_t done = 0; done < s.size();) {
        const ssize_t n = write(fd, s.data() + done, s.size() - done);
        if (n <= 0) return;
        done += std::size_t(n);
    }
}

// The dialogue: raw 32-bit centimetres in, raw 32-bit metres out; or ESRI
// grids both ways.  The centre point is the crater centre.
std::string answers(const Volcano& v, const std::string& folder, bool esri)
{
    std::ostringstream a;
    a << folder << "\nvolcano\n";
    if (esri)
        a << "0\n" << v.pixel << "\n0\n0\n";
    else  // 32 bits, centimetres, pixel, generic name, raw 32-bit output in metres
        a << "1\n1\n2\n" << v.pixel << "\n0\n1\n1\n0\n";
    a << v.base << "\n0\n" << v.centre_line << "\n" << v.centre_col << "\n0\n1\n\n";
    return a.str();
}

// `tephromat measure` with these arguments: the run's input is a command.
struct Command {
    std::vector<std::string> args;
};

[[noreturn]] void child(int fd, const std::string& dialogue, const Stages* stages, const std::string& console_path,
                        int threads, const Command* command = nullptr)
{
    if (threads > 0) set_thread_count(threads);
    return_large_blocks();  // as the program's main does
    std::istringstream in(command ? "" : dialogue);
    std::ostringstream out;
    Workspace ws(in, out);
    ws.stages = stages;
    const Clock::time_point t0 = Clock::now();
    ws.on_stage = [&](const char* name) {
        timespec cpu{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
        write_all(fd, "S " + std::string(name) + " " + std::to_string(seconds_since(t0)) + " " +
                          std::to_string(double(cpu.tv_sec) + double(cpu.tv_nsec) * 1e-9) + "\n");
    };
    int status;
    if (command) {
        std::ostringstream results;
        ws.err = &results;
        status = run_measure(ws, parse_measure(command->args), results);
        out << results.str();
    } else {
        status = run(ws);
    }
    const double total = seconds_since(t0);
    std::ofstream(console_path, std::ios::binary) << out.str();
    write_all(fd, "E " + std::to_string(status) + " " + std::to_string(total) + "\n");
    _exit(0);  // no atexit handlers, no second flush of the parent's buffers
}

// One complete run in a child process; the run's files are then moved from
// `folder_dir` (all but the input DEM) to `result_dir`.
Outcome run_once(const std::string& dialogue, const Stages* stages, const std::string& folder_dir,
                 const std::set<std::string>& inputs, const std::string& result_dir, double limit, const char* label,
                 int threads = 0, const Command* command = nullptr)
{
    fs::create_directories(result_dir);
    std::printf("  %-10s", label);
    std::fflush(stdout);
    std::cout.flush();

    int p[2];
    if (pipe(p) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(p[0]);
        child(p[1], dialogue, stages, result_dir + "console", threads, command);
    }
    close(p[1]);

    Outcome o;
    double start[n_stages + 1], start_cpu[n_stages + 1];
    for (double& s : start) s = NAN;
    for (double& s : start_cpu) s = NAN;
    int status = -1;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit));
    std::string pending;
    bool killed = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd pfd{p[0], POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, int(left)) == 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        char buf[512];
        const ssize_t n = read(p[0], buf, sizeof buf);
        if (n <= 0) break;  // the child is gone
        pending.append(buf, std::size_t(n));
        for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos; pending.erase(0, eol + 1)) {
            std::istringstream line(pending.substr(0, eol));
            char kind;
            line >> kind;
            if (kind == 'S') {
                std::string name;
                line >> name;
                const int k =
                    int(std::find(std::begin(stage_names), std::end(stage_names), name) - std::begin(stage_names));
                line >> start[k] >> start_cpu[k];  // k is n_stages for "end"
                if (k < n_stages) std::printf(" %s", stage_names[k]);
                std::fflush(stdout);
            } else {
                line >> status >> o.total;
            }
        }
    }
    close(p[0]);
    int wstatus = 0;
    rusage ru{};
    wait4(pid, &wstatus, 0, &ru);
    o.peak_kib = ru.ru_maxrss;
    o.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
    o.kernel = double(ru.ru_stime.tv_sec) + double(ru.ru_stime.tv_usec) * 1e-6;
    o.faults = ru.ru_minflt;

    for (int k = 0; k < n_stages; ++k) {
        o.stage[k] = start[k + 1] - start[k];
        o.stage_cpu[k] = start_cpu[k + 1] - start_cpu[k];
    }
    if (killed) {
        o.state = Outcome::over;
        std::printf("  over %g s\n", limit);
    } else if (WIFSIGNALED(wstatus)) {
        o.why = "killed by signal " + std::to_string(WTERMSIG(wstatus));
    } else if (status != 0) {
        o.why = "exit status " + std::to_string(status);
    } else {
        o.state = Outcome::done;
        std::printf("  %.2f s\n", o.total);
    }
    if (o.state == Outcome::failed) {
        // The program's own message ends its console.
        std::ifstream console(result_dir + "console", std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(console)), std::istreambuf_iterator<char>());
        std::printf("  FAILED (%s): ...%s\n", o.why.c_str(),
                    text.substr(text.size() > 300 ? text.size() - 300 : 0).c_str());
    }

    for (const auto& e : fs::directory_iterator(folder_dir))
        if (!inputs.count(e.path().filename().string()))
            fs::rename(e.path(), result_dir + e.path().filename().string());
    return o;
}

bool same_file(const fs::path& a, const fs::path& b)
{
    if (fs::file_size(a) != fs::file_size(b)) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), std::streamsize(ba.size()));
        fb.read(bb.data(), std::streamsize(bb.size()));
        if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), std::size_t(fa.gcount())) != 0)
            return false;
    }
    return true;
}

// Names of the files that differ or exist on one side only.
std::vector<std::string> differing_files(const std::string& a, const std::string& b)
{
    std::set<std::string> names;
    for (const std::string& d : {a, b})
        for (const auto& e : fs::directory_iterator(d)) names.insert(e.path().filename().string());
    std::vector<std::string> diff;
    for (const std::string& n : names)
        if (!fs::exists(a + n) || !fs::exists(b + n) || !same_file(a + n, b + n)) diff.push_back(n);
    return diff;
}

std::string seconds_text(const Outcome& o, double limit)
{
    char s[48];
    if (o.state == Outcome::done)
        std::snprintf(s, sizeof s, "%.2f", o.total);
    else if (o.state == Outcome::over)
        std::snprintf(s, sizeof s, "over %g s", limit);
    else
        std::snprintf(s, sizeof s, "failed");
    return s;
}

struct Row {
    int size = 0, slices = 0;
    Outcome program, single, reference, measure;
    double tif_bytes = NAN, asc_bytes = NAN;  // the four output DEMs of `measure` as GeoTIFF and as ESRI text
    Outcome sweep;  // --base-sweep over 20 base lines
    double gdal_slope = NAN, gdal_hillshade = NAN;  // seconds
    bool compared = false;
    std::string outputs;
};

double gdal_total(const Row& r) { return r.gdal_slope + r.gdal_hillshade; }

void print_stages(const Row& r, std::size_t cells)
{
    const bool one = r.single.state == Outcome::done, ref = r.reference.state == Outcome::done;
    std::printf("    %-24s %16s", "stage (s)", "all threads");
    if (one) std::printf(" %16s %8s", "one thread", "speed-up");
    if (ref) std::printf(" %10s", "reference");
    std::printf("\n    %-24s %7s %8s", "", "wall", "cpu");
    if (one) std::printf(" %7s %8s", "wall", "cpu");
    std::printf("\n");
    for (int k = 0; k < n_stages; ++k) {
        std::printf("    %-24s %7.3f %8.3f", stage_names[k], r.program.stage[k], r.program.stage_cpu[k]);
        if (one)
            std::printf(" %7.3f %8.3f %8.2f", r.single.stage[k], r.single.stage_cpu[k],
                        r.single.stage[k] / r.program.stage[k]);
        if (ref) std::printf(" %10.3f", r.reference.stage[k]);
        std::printf("\n");
    }
    std::printf("    %-24s %7.3f %8.3f", "total", r.program.total, r.program.cpu);
    if (one) std::printf(" %7.3f %8.3f %8.2f", r.single.total, r.single.cpu, r.single.total / r.program.total);
    if (ref) std::printf(" %10.3f", r.reference.total);
    std::printf("\n    %-24s %7.1f", "peak MiB", double(r.program.peak_kib) / 1024);
    if (one) std::printf(" %16.1f", double(r.single.peak_kib) / 1024);
    std::printf("\n    %-24s %7.1f", "bytes/cell", double(r.program.peak_kib) * 1024 / double(cells));
    if (one) std::printf(" %16.1f", double(r.single.peak_kib) * 1024 / double(cells));
    // The kernel's share: on a virtual machine whose host takes back the
    // memory it frees, a page touched for the first time costs several
    // times more, and varies from run to run.
    std::printf("\n    %-24s %7.3f", "kernel cpu", r.program.kernel);
    if (one) std::printf(" %16.3f", r.single.kernel);
    // Each minor fault maps one page: the memory touched afresh, beside the peak.
    const double page_mib = double(sysconf(_SC_PAGESIZE)) / (1 << 20);
    std::printf("\n    %-24s %7.1f", "faulted MiB", double(r.program.faults) * page_mib);
    if (one) std::printf(" %16.1f", double(r.single.faults) * page_mib);
    std::printf("\n");
    if (!std::isnan(gdal_total(r)))
        std::printf("    gdaldem slope %.3f s + hillshade %.3f s = %.3f s; the program on all threads takes %.1f times "
                    "that\n",
                    r.gdal_slope, r.gdal_hillshade, gdal_total(r), r.program.total / gdal_total(r));
}

// Wall seconds of a shell command, or NAN when it fails.
double timed(const std::string& command)
{
    const Clock::time_point t0 = Clock::now();
    const int status = std::system(command.c_str());
    const double s = seconds_since(t0);
    return status == 0 ? s : NAN;
}

// gdaldem slope and hillshade on the benchmark's DEM (a VRT over the raw
// centimetres, or the ESRI grid), written to GeoTIFFs that are then removed.
void time_gdaldem(Row& r, const Volcano& v, const std::string& dir, bool esri)
{
    std::string input = dir + "volcano.asc";
    std::string scale = "1";
    if (!esri) {
        input = dir + "gdal.vrt";
        std::ofstream vrt(input);
        vrt << "<VRTDataset rasterXSize=\"" << v.size << "\" rasterYSize=\"" << v.size << "\">\n"
            << "  <GeoTransform>500000, " << v.pixel << ", 0, 4000000, 0, " << -v.pixel << "</GeoTransform>\n"
            << "  <VRTRasterBand dataType=\"Int32\" band=\"1\" subClass=\"VRTRawRasterBand\">\n"
            << "    <SourceFilename relativeToVRT=\"1\">volcano_m4.raw</SourceFilename>\n"
            << "    <ImageOffset>0</ImageOffset><PixelOffset>4</PixelOffset><LineOffset>" << 4 * v.size
            << "</LineOffset><ByteOrder>LSB</ByteOrder>\n"
            << "  </VRTRasterBand>\n</VRTDataset>\n";
        scale = "100";  // centimetres up, metres across
    }
    const std::string out = dir + "gdal-out.tif";
    r.gdal_slope = timed("gdaldem slope -q -s " + scale + " '" + input + "' '" + out + "'");
    std::remove(out.c_str());
    r.gdal_hillshade = timed("gdaldem hillshade -q -s " + scale + " '" + input + "' '" + out + "'");
    std::remove(out.c_str());
    if (!esri) std::remove(input.c_str());
}

// Compares the outputs of two runs; "identical" or the files that differ.
std::string compare_runs(const std::string& a, const std::string& b)
{
    const std::vector<std::string> diff = differing_files(a, b);
    if (diff.empty()) return "identical";
    std::string text;
    for (const std::string& d : diff) text += (text.empty() ? "DIFFER: " : ", ") + d;
    return text;
}

void usage()
{
    std::printf(
        "usage: tephromat_bench [options] [sizes...]\n"
        "  Runs the whole program on synthetic volcanoes (sizes 256, 512, 1024, 2048, 4096,\n"
        "  8192; default 512 1024 2048 4096) on all threads and on one, timing each stage\n"
        "  (wall and CPU); times gdaldem slope and hillshade on the same grid; then runs the\n"
        "  straightforward stages on the same DEM.  Every run's outputs are compared byte\n"
        "  for byte.\n"
        "  --no-reference   skip the runs of the straightforward stages\n"
        "  --no-single      skip the runs on one thread\n"
        "  --no-gdal        skip gdaldem\n"
        "  --limit S        kill a run after S seconds (default 300)\n"
        "  --esri           ESRI ASCII grids in and out instead of raw 32-bit rasters\n"
        "  --no-measure     skip the runs of `tephromat measure` (GeoTIFF outputs, then ESRI\n"
        "                   outputs for their size)\n"
        "  --sweep          also time `tephromat measure --base-sweep` over 20 base lines\n"
        "                   around the run's (its time against the run's)\n"
        "  --keep           keep the temporary root and the outputs\n");
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int a = 1; a < argc; ++a) {
        const std::string s = argv[a];
        if (s == "--no-reference") {
            o.reference = false;
        } else if (s == "--no-single") {
            o.single = false;
        } else if (s == "--no-gdal") {
            o.gdal = false;
        } else if (s == "--limit" && a + 1 < argc) {
            o.limit = std::atof(argv[++a]);
        } else if (s == "--esri") {
            o.esri = true;
        } else if (s == "--sweep") {
            o.sweep = true;
        } else if (s == "--no-measure") {
            o.measure = false;
        } else if (s == "--keep") {
            o.keep = true;
        } else if (!s.empty() && s[0] != '-' && known_size(std::atoi(s.c_str()))) {
            o.sizes.push_back(std::atoi(s.c_str()));
        } else {
            usage();
            std::exit(s == "-h" || s == "--help" ? 0 : 2);
        }
    }
    if (o.limit <= 0) {
        usage();
        std::exit(2);
    }
    if (o.sizes.empty()) o.sizes = {512, 1024, 2048, 4096};
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options opt = parse(argc, argv);
    std::string tmpl = (fs::temp_directory_path() / "tephromat-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string tmp = tmpl + "/", root = tmp + "root/";
    setenv("TEPHROMAT_ROOT", root.c_str(), 1);
    const bool gdal = std::system("command -v gdaldem > /dev/null 2>&1") == 0;
    std::printf("tephromat_bench: %s input and output, %d threads (TEPHROMAT_THREADS or the cores), time limit %g s "
                "per run, temporary root %s%s\n",
                opt.esri ? "ESRI ASCII" : "raw 32-bit", thread_count(), opt.limit, root.c_str(),
                gdal ? "" : "; gdaldem not found");

    std::vector<Row> rows;
    for (const int size : opt.sizes) {
        Row r;
        r.size = size;
        const std::string folder = "v" + std::to_string(size), dir = root + folder + "/";
        const std::string results = tmp + "results-" + std::to_string(size) + "/";
        fs::create_directories(dir);
        std::string dialogue;
        Command command;
        int sweep_base = 0;
        {  // freed before the runs fork, so that it does not count in their memory
            const Volcano v = make_volcano(size);
            opt.esri ? write_esri(v, dir, "volcano") : write_raw32(v, dir, "volcano");
            dialogue = answers(v, folder, opt.esri);
            // The same run as one command, with its default GeoTIFF outputs.
            char pixel[32];
            std::snprintf(pixel, sizeof pixel, "%.17g", v.pixel);
            command.args = {opt.esri ? dir + "volcano.asc" : dir + "volcano_m4.raw", "--base", std::to_string(v.base),
                            "--centre", std::to_string(v.centre_line) + "," + std::to_string(v.centre_col), "--out",
                            dir, "--quiet"};
            if (!opt.esri) command.args.insert(command.args.end(), {"--input-unit", "cm", "--pixel-size", pixel});
            sweep_base = v.base;
            int top = v.cm[0];
            std::uint64_t fnv = 0xcbf29ce484222325u;  // to check that two machines measured the same DEM
            for (const std::int32_t c : v.cm) {
                top = std::max(top, int(c));
                fnv = (fnv ^ std::uint32_t(c)) * 0x100000001b3u;
            }
            r.slices = top / 100 - v.base;
            std::printf("\n== %d x %d, pixel %g m, base line %d m, %d slices, centre line %d column %d, DEM %016llx\n",
                        size, size, v.pixel, v.base, r.slices, v.centre_line, v.centre_col, (unsigned long long)fnv);
            if (opt.gdal && gdal) {
                time_gdaldem(r, v, dir, opt.esri);
                std::printf("  gdaldem    slope %.2f s, hillshade %.2f s\n", r.gdal_slope, r.gdal_hillshade);
            }
        }
        // Memory the generator freed goes back to the system before the runs
        // fork: a child counts whatever its parent still holds.
        malloc_trim(0);
        const std::set<std::string> inputs = {"volcano_m4.raw", "volcano_m4.txt", "volcano.asc"};
        r.program = run_once(dialogue, &program_stages, dir, inputs, results + "program/", opt.limit, "program");
        std::vector<std::string> verdicts;
        if (opt.single) {
            r.single = run_once(dialogue, &program_stages, dir, inputs, results + "single/", opt.limit, "1 thread", 1);
            if (r.program.state == Outcome::done && r.single.state == Outcome::done) {
                r.compared = true;
                const std::string v = compare_runs(results + "program/", results + "single/");
                std::printf("  all threads against one thread: %s\n", v.c_str());
                if (v != "identical") verdicts.push_back("1 thread " + v);
            }
        }
        if (opt.reference) {
            r.reference =
                run_once(dialogue, &reference_stages, dir, inputs, results + "reference/", opt.limit, "reference");
            if (r.program.state == Outcome::done && r.reference.state == Outcome::done) {
                r.compared = true;
                std::size_t files = 0;
                for (const auto& e : fs::directory_iterator(results + "program/"))
                    files += e.path().filename() != "console";
                const std::string v = compare_runs(results + "program/", results + "reference/");
                std::printf("  against the straightforward stages: %zu output files and the console transcript %s\n",
                            files, v.c_str());
                if (v != "identical") verdicts.push_back("reference " + v);
            }
        }
        if (opt.measure) {
            r.measure = run_once(dialogue, &program_stages, dir, inputs, results + "measure/", opt.limit, "measure", 0,
                                 &command);
            Command esri = command;
            esri.args.insert(esri.args.end(), {"--format", "esri"});
            run_once(dialogue, &program_stages, dir, inputs, results + "measure-esri/", opt.limit, "(as ESRI)", 0, &esri);
            auto dem_bytes = [&](const std::string& folder, const char* ext) {
                double bytes = 0;
                for (const char* f : {"_rec1", "_eros1", "_shad1", "_shaderos1"}) {
                    std::error_code ec;
                    const auto n = fs::file_size(folder + "volcano" + f + ext, ec);
                    if (ec) return double(NAN);
                    bytes += double(n);
                }
                return bytes;
            };
            r.tif_bytes = dem_bytes(results + "measure/", ".tif");
            r.asc_bytes = dem_bytes(results + "measure-esri/", ".asc");
            if (r.measure.state == Outcome::done && r.program.state == Outcome::done)
                std::printf("  measure with GeoTIFF outputs: %.2f s, %.2f times the dialogue's run; output DEMs %.1f MB "
                            "as GeoTIFF, %.1f MB as ESRI text (%.2f)\n",
                            r.measure.total, r.measure.total / r.program.total, r.tif_bytes / 1e6, r.asc_bytes / 1e6,
                            r.tif_bytes / r.asc_bytes);
            if (r.measure.state == Outcome::done) {
                std::printf("    %-24s %9s %9s\n", "stage (s)", "dialogue", "measure");
                for (int k = 0; k < n_stages; ++k)
                    std::printf("    %-24s %9.3f %9.3f\n", stage_names[k], r.program.stage[k], r.measure.stage[k]);
            }
        }
        if (opt.measure && opt.sweep) {
            Command sweep = command;
            sweep.args.erase(sweep.args.begin() + 1, sweep.args.begin() + 3);  // --base B
            sweep.args.insert(sweep.args.end(), {"--base-sweep", std::to_string(sweep_base - 10) + ":" +
                                                                     std::to_string(sweep_base + 9) + ":1"});
            r.sweep = run_once(dialogue, &program_stages, dir, inputs, results + "sweep/", opt.limit, "sweep 20", 0,
                               &sweep);
            if (r.sweep.state == Outcome::done && r.measure.state == Outcome::done)
                std::printf("  sweep of 20 base lines: %.2f s, %.1f times the run of `measure`\n", r.sweep.total,
                            r.sweep.total / r.measure.total);
        }
        for (const std::string& v : verdicts) r.outputs += (r.outputs.empty() ? "" : "; ") + v;
        if (r.compared && verdicts.empty()) r.outputs = "identical";
        if (r.program.state == Outcome::done) print_stages(r, std::size_t(size) * std::size_t(size));
        if (!opt.keep) {
            fs::remove_all(results);
            fs::remove_all(dir);
        }
        rows.push_back(r);
    }

    std::printf("\n%6s %7s %9s %9s %8s %8s %9s %7s %9s %8s %12s  %s\n", "size", "slices", "1 thread", "all s",
                "ns/cell", "speed-up", "gdaldem", "ratio", "peak MiB", "B/cell", "reference s", "outputs");
    for (const Row& r : rows) {
        char speedup[24] = "-", ratio[24] = "-", gd[24] = "-";
        if (r.program.state == Outcome::done && r.single.state == Outcome::done)
            std::snprintf(speedup, sizeof speedup, "%.2fx", r.single.total / r.program.total);
        if (!std::isnan(gdal_total(r))) {
            std::snprintf(gd, sizeof gd, "%.2f", gdal_total(r));
            if (r.program.state == Outcome::done)
                std::snprintf(ratio, sizeof ratio, "%.1fx", r.program.total / gdal_total(r));
        }
        // The peak of an unfinished run says little: shown only for finished ones.
        // The cost stays linear in the cells when the time per cell stays flat.
        char mib[24] = "-", per_cell[24] = "-", ns[24] = "-";
        if (r.program.state == Outcome::done) {
            std::snprintf(ns, sizeof ns, "%.0f", r.program.total * 1e9 / (double(r.size) * r.size));
            std::snprintf(mib, sizeof mib, "%.1f", double(r.program.peak_kib) / 1024);
            std::snprintf(per_cell, sizeof per_cell, "%.1f",
                          double(r.program.peak_kib) * 1024 / (double(r.size) * r.size));
        }
        std::printf("%6d %7d %9s %9s %8s %8s %9s %7s %9s %8s %12s  %s\n", r.size, r.slices,
                    opt.single ? seconds_text(r.single, opt.limit).c_str() : "skipped",
                    seconds_text(r.program, opt.limit).c_str(), ns, speedup, gd, ratio, mib, per_cell,
                    opt.reference ? seconds_text(r.reference, opt.limit).c_str() : "skipped",
                    r.compared ? r.outputs.c_str() : "-");
    }
    if (opt.measure) {
        // `tephromat measure` with its defaults is the run the targets time.
        std::printf("\n%6s %11s %9s %9s %8s %8s %8s %11s %11s %9s\n", "size", "dialogue s", "measure s", "ratio",
                    "ns/cell", "gdaldem", "B/cell", "GeoTIFF MB", "ESRI MB", "ratio");
        for (const Row& r : rows) {
            char ns[24] = "-", gd[24] = "-", per_cell[24] = "-";
            if (r.measure.state == Outcome::done) {
                std::snprintf(ns, sizeof ns, "%.0f", r.measure.total * 1e9 / (double(r.size) * r.size));
                std::snprintf(per_cell, sizeof per_cell, "%.1f",
                              double(r.measure.peak_kib) * 1024 / (double(r.size) * r.size));
                if (!std::isnan(gdal_total(r))) std::snprintf(gd, sizeof gd, "%.1fx", r.measure.total / gdal_total(r));
            }
            std::printf("%6d %11s %9s %8.2fx %8s %8s %8s %11.1f %11.1f %8.2fx\n", r.size,
                        seconds_text(r.program, opt.limit).c_str(), seconds_text(r.measure, opt.limit).c_str(),
                        r.measure.total / r.program.total, ns, gd, per_cell, r.tif_bytes / 1e6, r.asc_bytes / 1e6,
                        r.tif_bytes / r.asc_bytes);
        }
    }
    if (opt.keep)
        std::printf("\nkept %s\n", tmp.c_str());
    else
        fs::remove_all(tmp);
    bool ok = true;
    for (const Row& r : rows)
        ok = ok && r.program.state != Outcome::failed && (!r.compared || r.outputs == "identical");
    return ok ? 0 : 1;
}
