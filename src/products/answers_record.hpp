// <G>_answers.txt: the accepted answers of the run, one per line; fed back on
// standard input they repeat the run.
#pragma once

struct Workspace;

void write_answers_record(Workspace& ws);
