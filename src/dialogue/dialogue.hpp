// Console questions of the run.  Every answer is one whitespace-free token.
// A token that is not a number, given to a numeric question, is discarded and
// the question asked again; end of input before the dialogue is complete ends
// the run with status 1.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "token_reader.hpp"

struct Workspace;

// The next answer token; ends the run when the input is exhausted.
std::string read_token(Workspace& ws);

// A check of an answer: empty when it is accepted, otherwise why it is
// refused ("outside the choices 0 to 1", "at or below 0", ...).
using IntCheck = std::function<std::string(int)>;
using DoubleCheck = std::function<std::string(double)>;
// Menus: an answer from lo to hi.
IntCheck choices(int lo, int hi);

// Prints `prompt` and reads an integer, both again until `check` accepts it;
// each refused answer says why on the workspace's error stream.
int ask_int(Workspace& ws, const std::string& prompt, const IntCheck& check = nullptr);
// The same for a decimal number.
double ask_double(Workspace& ws, const std::string& prompt, const DoubleCheck& check = nullptr);
// Says on the error stream that `answer` was refused and why (the dialogue
// then asks again).
void refused(Workspace& ws, const std::string& answer, const std::string& reason);
// Prints `prompt` and reads a name, both again until `check` accepts it
// (empty: accepted; otherwise why not).
using NameCheck = std::function<std::string(const std::string&)>;
std::string ask_name(Workspace& ws, const std::string& prompt, const NameCheck& check = nullptr);


// The dialogue's stages, which ask every question of a run and call the
// run's steps with the answers: the banner, the DEM and the results; the
// dynamic scale; the edifice.
void opening(Workspace& ws);
void parameters1(Workspace& ws);
void parameters2(Workspace& ws);

// Waits for one key press (one byte of input, or its end).
void wait_key(Workspace& ws);
