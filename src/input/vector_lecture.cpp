#include "vector_lecture.hpp"

#include <sys/stat.h>

#include <cmath>
#include <memory>

#include <ogrsf_frmts.h>

#include "coordinates.hpp"
#include "gdal_messages.hpp"
#include "workspace.hpp"

namespace {

struct GeometryFree {
    void operator()(OGRGeometry* g) const { OGRGeometryFactory::destroyGeometry(g); }
};
using Geometry = std::unique_ptr<OGRGeometry, GeometryFree>;

double ring_area(const OGRLinearRing& r)
{
    return std::fabs(r.get_Area());
}

// The outer ring of the largest part.
const OGRLinearRing* largest_outer_ring(const OGRGeometry& g)
{
    const OGRwkbGeometryType t = wkbFlatten(g.getGeometryType());
    if (t == wkbPolygon) return g.toPolygon()->getExteriorRing();
    const OGRLinearRing* best = nullptr;
    if (t == wkbMultiPolygon || t == wkbGeometryCollection) {
        for (const OGRGeometry* part : *g.toGeometryCollection()) {
            if (wkbFlatten(part->getGeometryType()) != wkbPolygon) continue;
            const OGRLinearRing* r = part->toPolygon()->getExteriorRing();
            if (r && (!best || ring_area(*r) > ring_area(*best))) best = r;
        }
    }
    return best;
}

}  // namespace

void header_warning(Workspace& ws, const char* code, const std::string& text)
{
    ws.say("%s", text.c_str());
    ws.warnings.push_back({code, text});
    ws.header_warnings += text;
}

Ring read_polygon_file(Workspace& ws, const std::string& option, const std::string& file, bool fix)
{
    const char* f = file.c_str();
    struct stat st;
    if (stat(f, &st) != 0) fail(cfmt("%s: cannot read %s (no such file)", option.c_str(), f));
    // A folder is a vector source to OGR (a folder of shapefiles), but not
    // the one polygon asked for; devices and pipes are no files at all.
    if (!S_ISREG(st.st_mode)) fail(cfmt("%s: %s is not a regular file", option.c_str(), f));
    gdal_ready();
    GdalMessages messages;
    GdalDataset ds(GDALOpenEx(f, GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!ds)
        fail(cfmt("%s: cannot read %s as a vector file (GeoPackage, shapefile, GeoJSON...) : %s", option.c_str(), f,
                  messages.failure("no vector driver of GDAL reads it").c_str()));
    GDALDataset* dataset = GDALDataset::FromHandle(ds.get());
    // An outline drawn from an earlier run's vectors must not be replaced by
    // this run's.
    if (char** files = GDALGetFileList(ds.get())) {
        for (char** p = files; *p; ++p) ws.read_from(*p);
        CSLDestroy(files);
    }

    // The first polygon, layer after layer: a vent or a sample point stored
    // before it is passed over.
    Geometry geometry;
    OGRLayer* layer = nullptr;
    std::string first_kind;  // of the first geometry, when none is a polygon
    for (int k = 0; k < dataset->GetLayerCount() && !geometry; ++k) {
        layer = dataset->GetLayer(k);
        layer->ResetReading();
        for (OGRFeature* feature; !geometry && (feature = layer->GetNextFeature()) != nullptr;) {
            Geometry g(feature->StealGeometry());
            OGRFeature::DestroyFeature(feature);
            if (!g || g->IsEmpty()) continue;  // no geometry, or an empty one: passed over too
            if (OGR_GT_IsNonLinear(g->getGeometryType())) g.reset(g->getLinearGeometry());
            const OGRwkbGeometryType type = wkbFlatten(g->getGeometryType());
            if (type == wkbPolygon || type == wkbMultiPolygon)
                geometry = std::move(g);
            else if (first_kind.empty())
                first_kind = g->getGeometryName();
        }
    }
    if (!geometry && first_kind.empty()) fail(cfmt("%s: %s holds no feature with a geometry", option.c_str(), f));
    if (!geometry)
        fail(cfmt("%s: %s holds no polygon (its first feature is a %s)", option.c_str(), f, first_kind.c_str()));

    messages.clear();
    if (!geometry->IsValid()) {
        const std::string why = messages.warning().empty() ? "GEOS gives no reason" : messages.warning();
        if (!fix)
            fail(cfmt("%s: the polygon of %s is not valid (%s) : correct it, or add --fix-outline to make it valid",
                      option.c_str(), f, why.c_str()));
        Geometry fixed(geometry->MakeValid());
        if (!fixed || fixed->IsEmpty())
            fail(cfmt("%s: the polygon of %s is not valid (%s) and cannot be made valid", option.c_str(), f,
                      why.c_str()));
        geometry = std::move(fixed);
        header_warning(ws, "polygon_fixed",
                       cfmt("\n\tWarning : the polygon of %s was not valid (%s) : it was made valid ", f, why.c_str()));
    }

    // Into the DEM's coordinate system.  A GeoPackage states "none" with its
    // undefined systems (srs_id 0 and -1).
    const OGRSpatialReference* from = layer->GetSpatialRef();
    if (from && from->GetName() && std::string(from->GetName()).rfind("Undefined ", 0) == 0) from = nullptr;
    const Georef g = dem_georef(ws);
    if (!from) {
        header_warning(ws, "polygon_crs",
                       cfmt("\n\tWarning : %s states no coordinate system : its coordinates are taken as the DEM's ", f));
    } else if (!g.wkt.empty()) {
        OGRSpatialReference source(*from), target;
        if (target.importFromWkt(g.wkt.c_str()) != OGRERR_NONE)
            fail(cfmt("%s: the DEM's coordinate system cannot be read to bring %s into it", option.c_str(), f));
        source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        if (!source.IsSame(&target)) {
            std::unique_ptr<OGRCoordinateTransformation> ct(OGRCreateCoordinateTransformation(&source, &target));
            if (!ct || geometry->transform(ct.get()) != OGRERR_NONE) {
                // GeoJSON without a "crs" member is longitude and latitude by
                // its standard: map coordinates there are a common slip.
                const bool geojson = EQUAL(GDALGetDriverShortName(GDALGetDatasetDriver(ds.get())), "GeoJSON");
                fail(cfmt("%s: %s cannot be brought into the DEM's coordinate system : %s%s", option.c_str(), f,
                          messages.failure("the transformation failed").c_str(),
                          geojson && source.IsGeographic()
                              ? " (GeoJSON without a \"crs\" member holds WGS 84 longitudes and latitudes)"
                              : ""));
            }
        }
    }

    const OGRLinearRing* ring = largest_outer_ring(*geometry);
    if (!ring || ring->getNumPoints() < 4) fail(cfmt("%s: the polygon of %s has no area", option.c_str(), f));
    // What the outer ring of the largest part leaves out is said.
    int parts = 0, holes = 0;
    auto count = [&](const OGRPolygon& poly) {
        ++parts;
        holes += poly.getNumInteriorRings();
    };
    if (wkbFlatten(geometry->getGeometryType()) == wkbPolygon)
        count(*geometry->toPolygon());
    else
        for (const OGRGeometry* part : *geometry->toGeometryCollection())
            if (wkbFlatten(part->getGeometryType()) == wkbPolygon) count(*part->toPolygon());
    if (parts > 1 || holes > 0)
        header_warning(ws, "polygon_parts",
                       cfmt("\n\tWarning : the polygon of %s has %d part%s and %d hole%s : only the outer ring of its "
                            "largest part is taken ",
                            f, parts, parts > 1 ? "s" : "", holes, holes == 1 ? "" : "s"));
    Ring r;
    r.reserve(std::size_t(ring->getNumPoints()));
    for (int k = 0; k < ring->getNumPoints(); ++k) {
        const Vec2 p{ring->getX(k), ring->getY(k)};
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            fail(cfmt("%s: the polygon of %s has a vertex that is not a number", option.c_str(), f));
        r.push_back(p);
    }
    if (!(r.front() == r.back())) r.push_back(r.front());
    return r;
}

bool ring_within(const Ring& inner, const Ring& outer)
{
    auto polygon = [](const Ring& r) {
        auto ring = std::make_unique<OGRLinearRing>();
        for (const Vec2& p : r) ring->addPoint(p.x, p.y);
        ring->closeRings();
        OGRPolygon poly;
        poly.addRingDirectly(ring.release());
        return poly;
    };
    const OGRPolygon a = polygon(inner), b = polygon(outer);
    return a.Within(&b);
}
