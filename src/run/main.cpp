#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "input.hpp"
#include "measure.hpp"
#include "interrupt.hpp"
#include "parallel.hpp"
#include "run.hpp"
#include "workspace.hpp"

namespace {

// The README: installed beside the program (<prefix>/share/doc/tephromat), or
// in the source tree the program was built from.
std::string readme_path()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path installed = exe.parent_path().parent_path() / "share/doc/tephromat/README.md";
        if (fs::exists(installed, ec)) return installed.string();
    }
    const fs::path source = fs::path(TEPHROMAT_SOURCE_DIR) / "README.md";
    if (fs::exists(source, ec)) return source.string();
    return "README.md, in the program's source tree";
}

void help()
{
    std::cout
        << "tephromat " TEPHROMAT_VERSION ": morphometry of eroded volcanic cones from a digital elevation model.\n"
           "\n"
           "It isolates the edifice above its base line, cuts it into 1 m slices and measures\n"
           "them (surface, volume, gravity centre, orientation), measures its slopes, radii,\n"
           "heights and surfaces, rebuilds the un-eroded cone and the erosion thickness, and\n"
           "writes a report, three tables, four output DEMs and pictures beside the DEM.\n"
           "\n"
           "Usage:\n"
           "  tephromat measure DEM --base METRES --centre LINE,COLUMN [options]\n"
           "                           one command: any raster GDAL reads (GeoTIFF...), the\n"
           "                           centre also by --centre-xy X,Y or --centre-lonlat LON,LAT;\n"
           "                           tephromat measure --help lists every option\n"
           "  tephromat                answer the questions of the dialogue on the console\n"
           "  tephromat < ANSWERS      the same, the answers read from a file, one a line\n"
           "                           (every run records its own in <name>_answers.txt)\n"
           "  tephromat --version      print the version\n"
           "  tephromat --help         print this text\n"
           "\n"
           "The dialogue's DEM is an ESRI ASCII grid in metres (<dem>.asc, with its .prj and nodata\n"
           "cells) or a raw raster (<dem>_m2.raw or <dem>_m4.raw with its .txt descriptor),\n"
           "in a folder below the root directory; the results are written beside it.\n"
           "\n"
           "Environment:\n"
           "  TEPHROMAT_ROOT           the root directory that holds the folders;\n"
           "                           default $HOME/images/ (now: "
        << root_directory()
        << ")\n"
           "  TEPHROMAT_THREADS        threads the run uses (1: a single one); default the\n"
           "                           machine's cores (now: "
        << thread_count()
        << "); the results do not depend on it\n"
           "\n"
           "Scripts (installed as tephromat-prepare-dem and tephromat-batch):\n"
           "  scripts/prepare-dem.sh INPUT OUTPUT.asc [--resolution METRES]\n"
           "      any raster GDAL reads (GeoTIFF, VRT, ...) to an ESRI grid in metres with\n"
           "      its .prj, reprojected from degrees or feet to UTM, heights in feet or\n"
           "      scaled made metres; prints the answers to type\n"
           "  scripts/batch.sh [-j JOBS] [--answers-only] TABLE.csv [WORK_DIR]\n"
           "      many cones from a table, several at a time with GNU parallel\n"
           "\n"
           "More in the README: "
        << readme_path() << "\n";
}

// A transcript or report that did not reach standard output (a full disk, a
// closed file) is a failed run, not a success.
// A failed run says why on standard error already, except the dialogue's
// (`console_errors`), whose message went to standard output with the rest.
int output_checked(int status, bool console_errors = false)
{
    errno = 0;
    std::cout.flush();
    const bool failed = std::cout.fail() || std::fflush(stdout) != 0 || std::ferror(stdout);
    if (!failed || (status != 0 && !console_errors)) return status;
    const int e = errno;
    std::cerr << "tephromat: cannot write the standard output" << (e ? std::string(" : ") + std::strerror(e) : "")
              << "\n";
    return status != 0 ? status : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // `tephromat measure ...` takes its answers as options; `tephromat`
    // alone asks them in the dialogue, on standard input.
    return_large_blocks();
    if (argc >= 2 && std::strcmp(argv[1], "measure") == 0) {
        clean_up_on_interrupt();
        return output_checked(measure_main(std::vector<std::string>(argv + 2, argv + argc)));
    }
    if (argc >= 2) {
        if (std::strcmp(argv[1], "--version") == 0) {
            std::cout << "tephromat " TEPHROMAT_VERSION "\n";
            return output_checked(0);
        }
        if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
            help();
            return output_checked(0);
        }
        std::cerr << "tephromat: unknown argument \"" << visible_excerpt(argv[1])
                  << "\" : run tephromat alone for the dialogue, tephromat measure DEM ... for one command, "
                     "tephromat --help for both\n";
        return 2;
    }
    clean_up_on_interrupt();
    Workspace ws(std::cin, std::cout);
    ws.key_from_terminal = isatty(STDIN_FILENO) != 0;
    if (isatty(STDERR_FILENO)) ws.progress.show_on(&std::cerr);
    return output_checked(run(ws), true);
}
