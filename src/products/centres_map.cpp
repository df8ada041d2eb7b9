#include "centres_map.hpp"

#include "coordinates.hpp"
#include "products.hpp"
#include "summary.hpp"
#include "workspace.hpp"

// One line a slice: the middle of its centre's cell in the DEM's coordinates
// (a grid without georeferencing has its lower-left corner at 0, 0), the
// slice's altitude, and the cell.
void write_centres_map(Workspace& ws)
{
    const Georef g = dem_georef(ws);
    std::string text = "x,y,altitude_m,line,column\n";
    for (const Workspace::SliceCentre& c : ws.slice_centres) {
        const MapPoint m = centre_of_cell(g, c.line, c.column);
        text += summary_number(m.x) + "," + summary_number(m.y) + "," + std::to_string(c.altitude) + "," +
                std::to_string(c.line) + "," + std::to_string(c.column) + "\n";
    }
    OutFile f = ws.create(output_prefix(ws) + "_centres_map.csv", false);
    f.write(text.data(), text.size());
    f.close();
}
