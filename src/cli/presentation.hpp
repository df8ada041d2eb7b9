// What `tephromat measure` prints: the report and the main figures of a
// run, or, for --dry-run, what the run would measure.
#pragma once

#include <string>

struct Workspace;

// The report as <G>_info.txt holds it, then the main figures of the summary.
std::string report_and_figures(const Workspace& ws);
// The raster, the centre point and the zone above the base line that holds
// it, as a few lines of text.
std::string dry_run_text(const Workspace& ws);
// Lines that begin with "\n\t" as lines that begin with "tephromat: ".
std::string note_lines(const std::string& notes);
