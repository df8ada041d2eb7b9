// Every answer of a run.  The dialogue fills it from its questions,
// `tephromat measure` from its options and the Python module from its
// arguments; the run takes its choices from here alone.  The names are the
// workspace's, which the stages read once each step has set them.
#pragma once

#include <string>

#include "morphometry_options.hpp"

struct DemArray;

struct RunParameters {
    // The DEM.
    // array: samples in memory (the Python module's), read as a raster
    // read through GDAL is; the front end keeps them alive during the read.
    enum Format { esri = 0, raw = 1, gdal = 2, array = 3 };
    int format = esri;
    std::string nomim1;        // the DEM file (an array: its name in messages)
    const DemArray* dem_array = nullptr;
    int itype = 0;             // raw: 0 16-bit samples, 1 32-bit
    // A raw DEM without descriptor: its lines and columns, and the pixel size
    // in whole metres of one whose descriptor gives none (0: not given).
    int nb_lig = 0, nb_col = 0, pix_size = 0;
    int interv = 0;            // raw: its unit, 0 m, 1 dm, 2 cm, 3 mm
    // The decimal pixel size; 0: the grid's own (a raster read through GDAL,
    // an ESRI grid's cellsize).
    double dpix_size = 0;
    bool reproject = false;    // GDAL: a DEM in degrees or feet warped to UTM

    // The results: their folder (ending with "/") and generic name, format
    // (0 ESRI, 1 raw, 2 GeoTIFF), raw width and unit, and for a raw DEM
    // written as ESRI grids the lower-left corner.
    std::string folder, nomgene;
    int format_out = 0, itype_out = 0, dyn_scale_out = 0;
    double X_min = 0, Y_min = 0;

    // The edifice: the base line, and the centre (0 typed or given, 1
    // calculated from the basal slice).
    double dbase = 0;
    bool base_auto = false;  // the base line chosen from the DEM (set_auto_base)
    int grav_cent = 0;
    int i_gv = 0, j_gv = 0;

    // The display of the gravity-centre model.
    int Basic_Slice = 0, UpSliVisu = 1, NumSlices = 0, VisuType = 0;

    // The published figures: their choices, and the edifice and crater given
    // as polygons (vector files; empty: none).  With an outline the edifice
    // is its cells, and the base line, when not given, the altitude of its
    // lowest vertex.
    MorphometryOptions morphometry;
    std::string outline_file, crater_file;
    bool fix_outline = false;  // an invalid polygon made valid rather than refused
    bool base_given = true;    // false: the base line comes from the outline
};
