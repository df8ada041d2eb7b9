#include "input.hpp"
#include "workspace.hpp"

namespace {

void allocate_workspace_grids(Workspace& ws)
{
    using namespace nrutil;
    const int c = ws.nb_col, l = ws.nb_lig;
    allocate_grid(ws.tab, "tab", c, l);
    allocate_grid(ws.tab1, "tab1", c, l);
    allocate_grid(ws.tab_conv, "tab_conv", c, l);
    allocate_grid(ws.tab_pl, "tab_pl", c, l);
    for (auto [g, name] : {std::pair{&ws.tab_co, "tab_co"}, {&ws.tab_cr, "tab_cr"}, {&ws.tab_sect, "tab_sect"},
                           {&ws.tab_perim, "tab_perim"}, {&ws.pente_ang, "pente_ang"}, {&ws.tab_shad1, "tab_shad1"},
                           {&ws.tab_shaderos1, "tab_shaderos1"}})
        allocate_grid(*g, name, c, l);
    for (auto [g, name] : {std::pair{&ws.itab1, "itab1"}, {&ws.itab2, "itab2"}, {&ws.ktab, "ktab"},
                           {&ws.itab_eros, "itab_eros"}})
        allocate_grid(*g, name, c, l);
    const int fonc_size = l >= c ? l : c;
    if (!(ws.fonc = ivecteur(fonc_size))) grid_failed("fonc", 1, fonc_size, sizeof(std::int32_t));
    allocate_grid(ws.jtab_out, "jtab_out", c, l);
    for (auto [g, name] : {std::pair{&ws.dtab_eros, "dtab_eros"}, {&ws.dtab_shad_in, "dtab_shad_in"},
                           {&ws.dtab_shad_out, "dtab_shad_out"}})
        allocate_grid(*g, name, c, l);
}

// A generic name can make a result's name that of the DEM or its descriptor
// (the DEM "x_rec1" and the generic name "x"): the run would write over its
// own input.
void check_names_against_input(const Workspace& ws, const std::string& nomdescr1)
{
    for (const std::string* out : {&ws.nominfo, &ws.nomrec1, &ws.nomshad1, &ws.nomeros1, &ws.nomshaderos1,
                                   &ws.desrec1, &ws.desshad1, &ws.deseros1, &ws.desshaderos1, &ws.nomorient,
                                   &ws.nomgc, &ws.nomsurfslice})
        for (const std::string* in : {&ws.nomim1, &nomdescr1})
            if (!out->empty() && *out == *in)
                fail(cfmt("the result %s would replace the input %s : choose another generic name", out->c_str(),
                          in->c_str()));
}

// Every file of the run, with the first lines of the output descriptors.
void create_results(Workspace& ws)
{
    if (ws.write_descriptor) {
        ws.f1d = ws.create(ws.nomdescr1, false);
        ws.f1d.printf("%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, ws.itype == 0 ? 2 : 4);
    }
    ws.finfo = ws.create(ws.nominfo, false);
    if (ws.format_out == 1) {
        const int val = ws.itype_out == 0 ? 2 : 4;
        ws.frec1 = ws.create(ws.nomrec1, true);
        ws.fdrec1 = ws.create(ws.desrec1, false);
        ws.fdrec1.printf("%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val);
        ws.fshad1 = ws.create(ws.nomshad1, true);
        ws.fdshad1 = ws.create(ws.desshad1, false);
        ws.fdshad1.printf("%d\n%d\n%d\n%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val, 0, 255, ws.pix_size);
        ws.fdshad1.close();
        ws.feros1 = ws.create(ws.nomeros1, true);
        ws.fderos1 = ws.create(ws.deseros1, false);
        ws.fderos1.printf("%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val);
        ws.fshaderos1 = ws.create(ws.nomshaderos1, true);
        ws.fdshaderos1 = ws.create(ws.desshaderos1, false);
        ws.fdshaderos1.printf("%d\n%d\n%d\n%d\n%d\n%d\n", ws.nb_lig, ws.nb_col, val, 0, 255, ws.pix_size);
    } else if (ws.format_out == 2) {
        // GeoTIFF: GDAL writes each file whole at the end, under the
        // temporary name reserved now.
        for (const std::string* name : {&ws.nomrec1, &ws.nomshad1, &ws.nomeros1, &ws.nomshaderos1})
            ws.create_for_gdal(*name);
    } else {
        ws.frec1 = ws.create(ws.nomrec1, false);
        ws.fshad1 = ws.create(ws.nomshad1, false);
        ws.feros1 = ws.create(ws.nomeros1, false);
        ws.fshaderos1 = ws.create(ws.nomshaderos1, false);
    }
    ws.forient = ws.create(ws.nomorient, false);
    ws.forient.printf("Orientation\tAltitud\n");
    ws.fgc = ws.create(ws.nomgc, false);
    ws.fslice = ws.create(ws.nomsurfslice, false);
}

// The names of the results: the folder and generic name, then each result's
// suffix, which the output format decides.
void name_results(Workspace& ws)
{
    const RunParameters& p = ws.params;
    ws.nomgene = p.nomgene;
    ws.format_out = p.format_out;
    ws.itype_out = p.itype_out;
    ws.dyn_scale_out = p.dyn_scale_out;
    const std::string nomim2 = p.folder + p.nomgene;
    ws.nomrec1 = ws.nomshad1 = ws.nomeros1 = ws.nomshaderos1 = nomim2;
    ws.nominfo = ws.nomorient = ws.nomgc = ws.nomsurfslice = nomim2;
    ws.nominfo += "_info.txt";
    if (ws.format_out == 1) {
        const bool w16 = ws.itype_out == 0;
        ws.nomrec1 += w16 ? "_rec1_m2" : "_rec1_m4";
        ws.nomshad1 += "_rec1_shad";
        ws.nomeros1 += w16 ? "_rec1_eros_m2" : "_rec1_eros_m4";
        ws.nomshaderos1 += "_rec1_shaderos";
        ws.desrec1 = ws.nomrec1 + ".txt";
        ws.desshad1 = ws.nomshad1 + ".txt";
        ws.deseros1 = ws.nomeros1 + ".txt";
        ws.desshaderos1 = ws.nomshaderos1 + ".txt";
        ws.nomrec1 += ".raw";
        ws.nomshad1 += ".raw";
        ws.nomeros1 += ".raw";
        ws.nomshaderos1 += ".raw";
    } else {
        const char* ext = ws.format_out == 2 ? ".tif" : ".asc";
        ws.nomrec1 += std::string("_rec1") + ext;
        ws.nomshad1 += std::string("_shad1") + ext;
        ws.nomeros1 += std::string("_eros1") + ext;
        ws.nomshaderos1 += std::string("_shaderos1") + ext;
        // A raw DEM has no corner of its own: the one given.
        if (!ws.Coord_UTM_dem1_OK) {
            ws.X_min = p.X_min;
            ws.Y_min = p.Y_min;
        }
    }
    ws.nomorient += "_orient.xls";
    ws.nomgc += "_gravcenters.xyz";
    ws.nomsurfslice += "_surf_slice.xls";
}

}  // namespace

void prepare_results(Workspace& ws)
{
    name_results(ws);
    check_names_against_input(ws, ws.nomdescr1);
    if (!ws.discard_results && !ws.results_in_memory) ws.lock.take(ws.params.folder, ws.params.nomgene, *ws.err);
    create_results(ws);
    allocate_workspace_grids(ws);
}
