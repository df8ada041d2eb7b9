#include "morphometry_tables.hpp"

#include <string>
#include <vector>

#include "edifice_shape.hpp"
#include "products.hpp"
#include "summary.hpp"
#include "workspace.hpp"

namespace {

std::string cell_text(const Cell& c)
{
    return c.is_text ? c.text : c.number ? summary_number(*c.number) : "";
}

// A header from the columns' names, then one line per row; a table without
// rows keeps its header.
std::string table_text(const std::vector<Columns>& rows, const Columns& header)
{
    std::vector<std::string> names;
    for (const auto& [name, cell] : header) names.push_back(name);
    std::string text = csv_line(names);
    for (const Columns& row : rows) {
        std::vector<std::string> cells;
        for (const auto& [name, cell] : row) cells.push_back(cell_text(cell));
        text += csv_line(cells);
    }
    return text;
}

void write_table(Workspace& ws, const std::string& suffix, const std::string& text)
{
    OutFile f = ws.create(output_prefix(ws) + suffix, false);
    f.write(text.data(), text.size());
    f.close();
}

}  // namespace

void write_morphometry_tables(Workspace& ws)
{
    if (!ws.edifice_shape) return;
    const EdificeShape& s = *ws.edifice_shape;
    const Columns one = morphometry_columns(s);
    write_table(ws, "_morphometry.csv", table_text({one}, one));
    // The headers of tables without rows come from an empty row's names.
    EdificeShape empty;
    empty.mode = s.mode;
    empty.contours.resize(1);
    empty.height_bands.resize(1);
    write_table(ws, "_contours.csv", table_text(contour_table(s), contour_table(empty)[0]));
    write_table(ws, "_height_bands.csv", table_text(height_band_table(s), height_band_table(empty)[0]));
}
