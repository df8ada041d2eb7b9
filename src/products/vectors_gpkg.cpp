#include "vectors_gpkg.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "coordinates.hpp"
#include "edifice_shape.hpp"
#include "gdal_messages.hpp"
#include "products.hpp"
#include "workspace.hpp"

namespace {

struct FeatureFree {
    void operator()(OGRFeature* f) const { OGRFeature::DestroyFeature(f); }
};
using Feature = std::unique_ptr<OGRFeature, FeatureFree>;

// One GeoPackage being written; every failure names the file.
class Gpkg {
public:
    Gpkg(const std::string& name, const std::string& path, const std::string& wkt) : name_(name)
    {
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
        if (!driver) failed("GDAL has no GeoPackage driver");
        ds_.reset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
        if (!ds_) failed("GDAL cannot create it");
        if (wkt.empty() || srs_.importFromWkt(wkt.c_str()) != OGRERR_NONE) {
            // Without a coordinate system the coordinates are still metres on
            // a plane: GeoPackage's undefined Cartesian system (which GDAL
            // knows by this name), not the undefined geographic one it takes
            // for a layer without any.
            srs_.Clear();
            srs_.SetLocalCS("Undefined Cartesian SRS");
            srs_.SetLinearUnits(SRS_UL_METER, 1.0);
        }
        srs_.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        if (dataset()->StartTransaction() != OGRERR_NONE) failed("cannot start writing");
    }

    OGRLayer* layer(const char* name, OGRwkbGeometryType type, const std::vector<std::pair<std::string, OGRFieldType>>& fields)
    {
        OGRLayer* l = dataset()->CreateLayer(name, &srs_, type, nullptr);
        if (!l) failed("cannot create a layer");
        for (const auto& [field, kind] : fields) {
            OGRFieldDefn f(field.c_str(), kind);
            if (l->CreateField(&f) != OGRERR_NONE) failed("cannot create a field");
        }
        return l;
    }
    Feature feature(OGRLayer* l) { return Feature(OGRFeature::CreateFeature(l->GetLayerDefn())); }
    void add(OGRLayer* l, Feature& f)
    {
        if (l->CreateFeature(f.get()) != OGRERR_NONE) failed("cannot write a feature");
    }
    void close()
    {
        if (dataset()->CommitTransaction() != OGRERR_NONE) failed("write error");
        ds_.reset();
        if (messages_.failed()) failed("write error");
    }
    [[noreturn]] void failed(const char* otherwise) const
    {
        fail(cfmt("cannot write %s (%s)", name_.c_str(), messages_.failure(otherwise).c_str()));
    }

private:
    GDALDataset* dataset() const { return static_cast<GDALDataset*>(ds_.get()); }
    GdalMessages messages_;  // before the dataset: it outlives its closing
    std::string name_;
    GdalDataset ds_;
    OGRSpatialReference srs_;
};

OGRLinearRing ring_of(const Ring& v)
{
    OGRLinearRing r;
    for (const Vec2& p : v) r.addPoint(p.x, p.y);
    if (!v.empty() && !(v.front() == v.back())) r.addPoint(v.front().x, v.front().y);
    return r;
}

// A polygon of at least three corners, or none.
void set_polygon(Feature& f, const Ring& v)
{
    OGRLinearRing r = ring_of(v);
    if (r.getNumPoints() < 4) return;
    OGRPolygon p;
    p.addRing(&r);
    f->SetGeometry(&p);
}

// The number of the slice tables: what "%lf" writes, read back.
double as_in_table(double v)
{
    char text[512];
    std::snprintf(text, sizeof text, "%lf", v);
    return std::strtod(text, nullptr);
}

std::string gpkg_name(const Workspace& ws) { return output_prefix(ws) + "_vectors.gpkg"; }

}  // namespace

std::string reserve_vectors_gpkg(Workspace& ws)
{
    if (!ws.edifice_shape) return "";
    return ws.create_for_gdal(gpkg_name(ws));
}

void write_vectors_gpkg(const Workspace& ws, const std::string& path)
{
    if (path.empty()) return;
    const std::string name = gpkg_name(ws);
    const EdificeShape& s = *ws.edifice_shape;
    gdal_ready();
    // The file records when its tables last changed: a fixed date makes a
    // repeated run write the same bytes.  The journal stays in memory, so
    // that no file but the GeoPackage appears beside the results.
    ThreadSetting date("OGR_CURRENT_DATE", "2000-01-01T00:00:00Z");
    ThreadSetting journal("OGR_SQLITE_JOURNAL", "MEMORY");
    // The driver creates its file itself and refuses one that exists: the
    // reserved temporary file makes way, and its mode is given back after.
    struct stat st;
    const bool had_mode = stat(path.c_str(), &st) == 0;
    std::remove(path.c_str());

    Gpkg g(name, path, dem_georef(ws).wkt);
    const GridFrame frame{ws.nb_lig, ws.nb_col, ws.dsizepix, ws.X_min, ws.Y_min};
    auto map_point = [&](int i, int j) { return frame.to_map(frame.centre(i, j)); };

    OGRLayer* outline = g.layer("outline", wkbPolygon, {{"closed", OFTInteger}, {"area_km2", OFTReal}});
    {
        Feature f = g.feature(outline);
        if (s.basal_closed) f->SetField("closed", int(*s.basal_closed));
        if (s.basal_area_km2) f->SetField("area_km2", *s.basal_area_km2);
        set_polygon(f, s.basal_outline.empty() ? s.basal_ring : s.basal_outline);
        g.add(outline, f);
    }
    if (!s.crater_outline.empty()) {
        OGRLayer* crater = g.layer("crater", wkbPolygon, {{"source", OFTString}, {"area_km2", OFTReal}});
        Feature f = g.feature(crater);
        f->SetField("source", s.crater_source.c_str());
        if (s.crater_area_km2) f->SetField("area_km2", *s.crater_area_km2);
        set_polygon(f, s.crater_outline);
        g.add(crater, f);
    }
    OGRLayer* summit = g.layer("summit_region", wkbPolygon, {{"rule", OFTString}, {"level_m", OFTReal}});
    if (!s.summit_outline.empty()) {
        Feature f = g.feature(summit);
        f->SetField("rule", s.summit_rule.c_str());
        if (s.summit_contour_m) f->SetField("level_m", *s.summit_contour_m);
        set_polygon(f, s.summit_outline);
        g.add(summit, f);
    }

    // Each measured contour with its row of <G>_contours.csv (both in order
    // of level; a level without a piece has a row and no line).
    const std::vector<Columns> rows = contour_table(s);
    std::vector<std::pair<std::string, OGRFieldType>> fields;
    {
        EdificeShape empty;
        empty.contours.resize(1);
        const std::vector<Columns> header = contour_table(empty);
        for (const auto& [column, cell] : header[0])
            fields.emplace_back(column, cell.is_text ? OFTString : OFTReal);
    }
    fields.emplace_back("loop", OFTInteger);
    OGRLayer* contours = g.layer("contours", wkbLineString, fields);
    std::size_t row = 0;
    for (const ContourLine& c : s.contour_lines) {
        while (row < s.contours.size() && s.contours[row].level != c.level) ++row;
        Feature f = g.feature(contours);
        if (row < rows.size())
            for (const auto& [column, cell] : rows[row]) {
                if (cell.is_text)
                    f->SetField(column.c_str(), cell.text.c_str());
                else if (cell.number)
                    f->SetField(column.c_str(), *cell.number);
            }
        f->SetField("loop", c.loop ? 1 : 0);
        OGRLineString line;
        for (const Vec2& p : c.v) line.addPoint(p.x, p.y);
        if (c.loop && !c.v.empty() && !(c.v.front() == c.v.back())) line.addPoint(c.v.front().x, c.v.front().y);
        // A contour round a single cell's corner may have all its vertices
        // in one point: no line.
        if (std::any_of(c.v.begin(), c.v.end(), [&](const Vec2& p) { return !(p == c.v.front()); }))
            f->SetGeometry(&line);
        g.add(contours, f);
    }

    OGRLayer* centre =
        g.layer("centre", wkbPoint, {{"line", OFTInteger}, {"column", OFTInteger}, {"altitude", OFTInteger}});
    {
        Feature f = g.feature(centre);
        f->SetField("line", ws.i_gv);
        f->SetField("column", ws.j_gv);
        // The present relief in whole metres, as the slices count altitudes.
        if (ws.centre_altitude) f->SetField("altitude", *ws.centre_altitude);
        const Vec2 p = map_point(ws.i_gv, ws.j_gv);
        OGRPoint point(p.x, p.y);
        f->SetGeometry(&point);
        g.add(centre, f);
    }

    // Every slice of <G>_surf_slice.xls, its envelope the polygon through
    // the centres of its vertex cells (none when it has under three).
    OGRLayer* slices = g.layer("slices", wkbPolygon,
                               {{"slice", OFTInteger}, {"altitude", OFTInteger}, {"surface_m2", OFTReal},
                                {"volume_m3", OFTReal}});
    int number = 0;
    for (const Workspace::SliceEnvelope& e : ws.slice_envelopes) {
        Feature f = g.feature(slices);
        f->SetField("slice", ++number);
        f->SetField("altitude", e.altitude);
        f->SetField("surface_m2", as_in_table(e.surface));
        f->SetField("volume_m3", as_in_table(e.volume));
        Ring v;
        for (const Workspace::GridPoint& p : e.vertices) v.push_back(map_point(p.line, p.column));
        set_polygon(f, v);
        g.add(slices, f);
    }
    g.close();
    if (had_mode) chmod(path.c_str(), st.st_mode & 07777);
}
