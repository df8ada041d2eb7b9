#include "gdal_messages.hpp"

#include <mutex>

#include <cpl_error.h>

void gdal_ready()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

GdalMessages::GdalMessages()
{
    CPLPushErrorHandlerEx(&GdalMessages::handler, this);
}

GdalMessages::~GdalMessages() { CPLPopErrorHandler(); }

void GdalMessages::handler(CPLErr level, CPLErrorNum, const char* text)
{
    auto* self = static_cast<GdalMessages*>(CPLGetErrorHandlerUserData());
    // The first failure is the cause; those after it follow from it.
    if (!self) return;
    if (level == CE_Warning && self->warning_.empty() && text) self->warning_ = text;
    if (self->failed_ || (level != CE_Failure && level != CE_Fatal)) return;
    self->failure_ = text ? text : "";
    self->failed_ = true;
}

std::string GdalMessages::failure(const std::string& otherwise) const
{
    return failed_ && !failure_.empty() ? failure_ : otherwise;
}

void GdalMessages::clear()
{
    failure_.clear();
    warning_.clear();
    failed_ = false;
}
