#include "workspace.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "stages.hpp"

Workspace::Workspace(std::istream& in_, std::ostream& out_)
    : in(&in_), out(&out_), stages(&program_stages)
{
}


void Workspace::say(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vcfmt(fmt, ap);
    va_end(ap);
    out->write(s.data(), std::streamsize(s.size()));
}

void Workspace::report(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vcfmt(fmt, ap);
    va_end(ap);
    finfo.write(s.data(), s.size());
}

void Workspace::both(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    std::string s = vcfmt(fmt, ap);
    va_end(ap);
    out->write(s.data(), std::streamsize(s.size()));
    finfo.write(s.data(), s.size());
}

OutFile Workspace::create(const std::string& name, bool binary)
{
    errno = 0;
    std::FILE* f = std::fopen(name.c_str(), binary ? "wb" : "w");
    if (!f) {
        std::string why = errno ? std::strerror(errno) : "unknown reason";
        fail(cfmt("cannot create %s (%s)", name.c_str(), why.c_str()));
    }
    created_files.push_back(name);
    return OutFile(f, name);
}

void Workspace::close_all()
{
    for (OutFile* f : {&f1d, &finfo, &forient, &fgc, &fslice, &frec1, &fshad1, &feros1,
                       &fshaderos1, &fdrec1, &fdshad1, &fderos1, &fdshaderos1})
        f->close();
}

void Workspace::remove_created()
{
    OutFile* files[] = {&f1d, &finfo, &forient, &fgc, &fslice, &frec1, &fshad1, &feros1,
                        &fshaderos1, &fdrec1, &fdshad1, &fderos1, &fdshaderos1};
    for (OutFile* f : files) *f = OutFile();  // closes without checking
    for (const std::string& name : created_files) std::remove(name.c_str());
    created_files.clear();
}

void grid_failed(const char* name, int nb_lig, int nb_col, std::size_t element_bytes)
{
    const double mib = double(nb_lig) * double(nb_col) * double(element_bytes) / (1024.0 * 1024.0);
    fail(cfmt("not enough memory for the grid %s (%d lines x %d columns, %.1f MiB)", name, nb_lig, nb_col, mib));
}
