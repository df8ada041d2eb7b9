#include "answers_record.hpp"
#include "products.hpp"
#include "workspace.hpp"

// Written at the end of the run, not at its start: a replay reads this very
// file on its standard input while it re-creates it.
void write_answers_record(Workspace& ws)
{
    std::string text;
    for (const std::string& a : ws.answers) text += a + "\n";
    OutFile f = ws.create(output_prefix(ws) + "_answers.txt", false);
    f.write(text.data(), text.size());
    f.close();
}
