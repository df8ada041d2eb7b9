// The stages that the driver and other stages call through the workspace:
// the engine's `program_stages` unless a workspace names another set (the
// tests and the benchmark can run the same driver with the straightforward
// versions of the stages).
#pragma once

struct Workspace;

struct Stages {
    void (*treatment)(Workspace&);
    void (*interp)(Workspace&);
    void (*treatment_rec)(Workspace&);
};
