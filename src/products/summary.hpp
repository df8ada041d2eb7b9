// <G>_summary.csv: the figures of the run as one table row, at full precision,
// so that the cones of a field gather into one table (scripts/batch.sh does).
#pragma once

#include <string>
#include <utility>
#include <vector>

struct Workspace;

void write_summary(Workspace& ws);

// Column names and cells of the summary, in order.  A figure that does not
// exist (no crater detected, no ascending pixel, ...) is an empty cell.
std::vector<std::pair<std::string, std::string>> summary_columns(const Workspace& ws);
// The shortest text that reads back as the same double ("-0" as "0"); empty
// for a value that is not finite.
std::string summary_number(double v);
// One CSV line of `cells`, quoted where a cell needs it, ending with "\n".
std::string csv_line(const std::vector<std::string>& cells);
