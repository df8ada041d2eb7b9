#include "answers_record.hpp"
#include "products.hpp"
#include "workspace.hpp"

// Written at the end of the run, not at its start: a replay reads this very
// file on its standard input while it re-creates it.
void write_answers_record(Workspace& ws)
{
    // A command line is repeated by itself: the version that made the
    // results, then the command.
    if (!ws.command_line.empty()) {
        const std::string text = "# tephromat " TEPHROMAT_VERSION "\n" + ws.command_line + "\n";
        OutFile f = ws.create(output_prefix(ws) + "_command.txt", false);
        f.write(text.data(), text.size());
        f.close();
        return;
    }
    std::string text;
    for (const std::string& a : ws.answers) text += a + "\n";
    OutFile f = ws.create(output_prefix(ws) + "_answers.txt", false);
    f.write(text.data(), text.size());
    f.close();
}
