// `tephromat measure DEM --base B --centre ...`: the run in one command, its
// answers given as options, its report and main figures on standard output.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "centre_point.hpp"
#include "run_parameters.hpp"

struct Workspace;

// What the options ask for, beside the answers of the dialogue.
struct MeasureRequest {
    RunParameters params;
    CentreRequest centre;
    std::string dem;          // the DEM as given
    bool dem_folder_out = true;  // no --out: the results go beside the DEM
    int threads = 0;          // 0: TEPHROMAT_THREADS or the machine's cores
    bool quiet = false, dry_run = false, full_pictures = false;
    std::string command_line;  // the command, to repeat the run
    // --base-sweep FROM:TO:STEP: each end a number of metres, or relative to
    // the automatic base (auto, auto+N, auto-N).
    struct SweepEnd {
        bool from_auto = false;
        double metres = 0;  // or the offset from the automatic base
    };
    bool sweep = false;
    SweepEnd sweep_from, sweep_to;
    double sweep_step = 0;
};

// The bases of a sweep, both ends included (FROM + k STEP), once the
// automatic base is known; a usage error when there are none or too many.
std::vector<double> sweep_bases(const MeasureRequest& r, double auto_base, bool auto_known = true);

// A usage error: a one-line message that names the option; exit status 2.
struct UsageError {
    std::string message;
};
// Help and --version: printed as they are, exit status 0.
struct ShowText {
    std::string text;
};

// Parses the arguments after "measure" (throws UsageError or ShowText).
MeasureRequest parse_measure(const std::vector<std::string>& args);

// The options that parse_measure takes, as its help lists them, for a front
// end that offers the same ones under the same names (the Python module).
struct MeasureOption {
    std::string name;          // "--base", or "DEM" for the positional
    std::string type;          // TEXT, INT, FLOAT; empty for a flag
    std::string default_text;  // as the help shows it (empty: none)
    std::string description;
    bool flag = false, required = false;
};
std::vector<MeasureOption> measure_options();

// The run of `r` on `ws` (whose console receives the steps' transcript):
// the report and the main figures, or the dry run's text, go to `results`,
// errors to ws.err.  Returns the exit status (0 done, 1 run error).
int run_measure(Workspace& ws, const MeasureRequest& r, std::ostream& results);

// Runs `tephromat measure` with the arguments after "measure"; returns the
// exit status (0 done, 1 run error, 2 usage error).
int measure_main(const std::vector<std::string>& args);
