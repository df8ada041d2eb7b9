#include <cmath>
#include <cstdio>
#include <strings.h>

#include "dialogue.hpp"
#include "input.hpp"
#include "token_reader.hpp"
#include "workspace.hpp"

namespace {

struct AsciiFile {
    std::FILE* f;
    ~AsciiFile() { std::fclose(f); }
};

int header_int(TokenReader& rd, const std::string& name, const char* what)
{
    std::string_view key, val;
    if (!rd.next(key) || !rd.next(val)) fail(cfmt("%s: the header ends before %s", name.c_str(), what));
    std::optional<int> v = parse_int(std::string(val));
    if (!v || *v <= 0)
        fail(cfmt("%s: %s must be a whole number above 0, not \"%.*s\"", name.c_str(), what,
                  int(val.size()), val.data()));
    if (*v > max_dem_side)
        fail(cfmt("%s: %s is %d; at most %d can be read", name.c_str(), what, *v, max_dem_side));
    return *v;
}

double header_real(TokenReader& rd, const std::string& name, const char* what, std::string* keyword)
{
    std::string_view key, val;
    if (!rd.next(key)) fail(cfmt("%s: the header ends before %s", name.c_str(), what));
    if (keyword) keyword->assign(key);
    if (!rd.next(val)) fail(cfmt("%s: the header ends before %s", name.c_str(), what));
    double v;
    if (!parse_sample(val, v) || !std::isfinite(v))
        fail(cfmt("%s: the header value of %s is not a number: \"%.*s\"", name.c_str(), what,
                  int(val.size()), val.data()));
    return v;
}

}  // namespace

void ascii_lecture(Workspace& ws)
{
    const std::string& name = ws.nomim1;
    AsciiFile file{std::fopen(name.c_str(), "r")};
    if (!file.f) fail(cfmt("cannot read %s", name.c_str()));
    TokenReader rd(file.f);

    ws.say("\n");
    ws.nb_col = header_int(rd, name, "ncols");
    ws.nb_lig = header_int(rd, name, "nrows");
    std::string xkey, ykey;
    ws.X_min = header_real(rd, name, "xllcorner", &xkey);
    ws.Y_min = header_real(rd, name, "yllcorner", &ykey);
    ws.dpix_size = header_real(rd, name, "cellsize", nullptr);
    if (std::fabs(ws.dpix_size) >= 2147483648.0)
        fail(cfmt("%s: cellsize %f is out of range", name.c_str(), ws.dpix_size));
    ws.dsizepix = ws.dpix_size;
    // The corner may be given by the centre of its cell.
    if (strcasecmp(xkey.c_str(), "xllcenter") == 0) ws.X_min -= ws.dpix_size / 2;
    if (strcasecmp(ykey.c_str(), "yllcenter") == 0) ws.Y_min -= ws.dpix_size / 2;
    // nodata_value may be missing: a number in its place is the first sample.
    std::string_view key, val;
    if (rd.next(key)) {
        double v;
        if (parse_sample(key, v))
            rd.push_back(key);
        else if (!rd.next(val))
            fail(cfmt("%s: the header ends before nodata_value", name.c_str()));
        else if (!parse_sample(val, v))
            fail(cfmt("%s: the header value of nodata_value is not a number: \"%.*s\"", name.c_str(),
                      int(val.size()), val.data()));
        else {
            ws.nodata_declared = true;
            ws.nodata_value = v;
        }
    }

    ws.itab = nrutil::imatrice(ws.nb_col, ws.nb_lig);
    ws.itab3 = nrutil::imatrice(ws.nb_col, ws.nb_lig);
    ws.dtab = nrutil::dmatrice(ws.nb_col, ws.nb_lig);
    require_grid(ws.itab && ws.itab3 && ws.dtab, "of elevations");

    for (int i = 0; i < ws.nb_lig; ++i) {
        if (i > 0 && i % 100 == 0) ws.say("\tline %d                   \r", i);
        double* dr = ws.dtab[i];
        std::int32_t* ir = ws.itab[i];
        std::int32_t* ir3 = ws.itab3[i];
        for (int j = 0; j < ws.nb_col; ++j) {
            std::string_view t;
            if (!rd.next(t)) {
                if (rd.read_error()) fail(cfmt("cannot read %s", name.c_str()));
                fail(cfmt("%s ends at line %d, column %d: %d lines of %d samples were expected",
                          name.c_str(), i, j, ws.nb_lig, ws.nb_col));
            }
            double v;
            if (!parse_sample(t, v))
                fail(cfmt("%s: the sample of line %d, column %d is not a number: \"%.*s\"",
                          name.c_str(), i, j, int(t.size()), t.data()));
            if (!(v > -2147483649.0 && v < 2147483648.0))
                fail(cfmt("%s: the sample of line %d, column %d is outside the signed 32-bit range",
                          name.c_str(), i, j));
            dr[j] = v;
            ir[j] = ir3[j] = std::int32_t(v);
        }
    }
    ws.pix_size = int(ws.dpix_size);
    ws.say("\n");
}
