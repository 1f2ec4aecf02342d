// The run directory PATH + OUTPUT + "/": made (one level), locked for the
// whole run, cleared of an earlier run's outputs that this run will not
// write, given copies of the inputs and the run log.
#ifndef REDORDIST_OUTPUT_RUN_DIRECTORY_H
#define REDORDIST_OUTPUT_RUN_DIRECTORY_H

#include <string>
#include <vector>

#include "input/input_files.h"
#include "model/paar.h"

// The names (after OUTPUT) of every file a run may write in its directory.
std::vector<std::string> output_suffixes();
// Those a run of this mode and solver writes.
std::vector<std::string> written_suffixes(std::string const& mode, std::string const& solver);

// Makes and locks the run directory, removes stale outputs, planted links
// and a killed run's temporary files, copies the data and parameter files
// (and the prescribed distribution, when one was read) in and opens the run
// log. A directory that cannot be made or is in use by
// another run, an input (parameter file, XYDATA, DISTDIST,
// LAMBDA_D) that is one of the files the run writes or removes there, or a
// log that cannot be opened, ends the process with one line, status 1; the
// first two and the input are refused before anything in it is changed. The
// lock lasts until the process ends and leaves no file. An input whose
// bytes are in texts is copied from them.
void open_run_directory(Paar& model, char const* param_file, InputTexts const& texts = {});

// Why the run directory of s cannot be used now (in use by another run, or
// an input among the files the run would replace), or "": a check before
// anything is written, for a comparison that must not change one directory
// and then refuse the next.
std::string run_directory_conflict(RunSetup const& s, std::string const& param_file);

// Every file of the run in its directory: the outputs written (the summary
// always) and the copies of the inputs.
std::vector<std::string> run_files(Paar const& model, std::string const& param_file);

#endif
