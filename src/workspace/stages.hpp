// The stages that the driver and other stages call through the workspace.
// The program runs `program_stages`; the tests and the benchmark can run the
// same driver with another set (the straightforward versions of the stages).
#pragma once

struct Workspace;

struct Stages {
    void (*treatment)(Workspace&);
    void (*interp)(Workspace&);
    void (*treatment_rec)(Workspace&);
};

extern const Stages program_stages;
