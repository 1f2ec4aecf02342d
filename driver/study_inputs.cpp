#include "driver/study_inputs.h"

#include <cctype>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "input/nuclei.h"
#include "input/param_limits.h"
#include "input/study_file.h"
#include "input/text_lines.h"
#include "model/run_setup.h"
#include "numeric/warnings.h"
#include "output/run_directory.h"

namespace {

// The key of a "KEY: value" line without its blanks ("" for other lines).
std::string key_of(std::string const& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos || iscomment(line)) return "";
  std::string k;
  for (char c : line.substr(0, colon))
    if (!std::isspace(static_cast<unsigned char>(c))) k += c;
  return k;
}

// Standard output goes into text while one of these lives.
class Capture {
 public:
  Capture() : old_(std::cout.rdbuf(text_.rdbuf())) {}
  ~Capture() { std::cout.rdbuf(old_); }
  std::string text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* old_;
};

// One curve's inputs through the readers of a single run. They are read
// with the parameter file's PATH, which exists (the study's directory is
// made only once everything is checked), then moved into the study's
// directory, and the parameter text kept for the run directory says so.
void read_curve(std::vector<std::string> const& lines, std::string const& param_file, std::string const& study_file,
                std::string const& solver, StudyInputs const& st, StudyCurve const& c, StudyCurveInputs& out) {
  std::vector<std::pair<std::string, std::string>> keys = {{"XYDATA", study_file}, {"OUTPUT", c.name}};
  keys.insert(keys.end(), c.keys.begin(), c.keys.end());
  InputFiles files;
  files.add(param_file, param_text_with(lines, keys));
  files.add(study_file, c.data_text);
  out.name = c.name;
  InputStatus refusal;
  {
    Capture shown;
    refusal = read_run_inputs(files, param_file, solver, out.inputs);
    out.console = shown.text();
  }
  out.warnings = take_warnings();
  std::string dir = st.path + st.base + "/";
  if (!refusal && (dir + c.name + "/").size() > kMaxRunDirLen)
    refusal = refused("the run directory " + printable(dir + c.name + "/") + " is longer than " +
                      std::to_string(kMaxRunDirLen) + " characters; shorten PATH, OUTPUT or the curve name\n");
  if (refusal) out.reason = refusal->message;
  while (!out.reason.empty() && out.reason.back() == '\n') out.reason.pop_back();
  if (refusal) return;
  out.inputs.params.path = dir;
  keys.emplace_back("PATH", dir);
  out.inputs.texts[param_file] = param_text_with(lines, keys);
}

// The parameter file alone, with the study file as its data: what every
// curve shares is refused once for the whole study.
InputStatus read_shared_params(InputFiles& files, std::vector<std::string>& lines, std::string const& param_file,
                               std::string const& study_file, std::string const& solver, RunParams& p) {
  if (!files.lines(param_file, lines)) return read_params(files, param_file, solver, p);
  InputFiles base;
  base.add(param_file, param_text_with(lines, {{"XYDATA", study_file}}));
  if (InputStatus s = read_params(base, param_file, solver, p)) return s;
  double gx = 0, gy = 0;
  if (InputStatus s = lookup_nuclei(p.detect_nucleus, p.dephase_nucleus, gx, gy)) return s;
  if (InputStatus s = check_params(p, solver)) return s;
  if (p.mode != "fit" && p.mode != "err")
    return refused("--study fits each curve: " + printable(param_file) + " has MODE " + printable(p.mode) +
                   "; write MODE fit or err\n");
  return std::nullopt;
}

}  // namespace

std::string param_text_with(std::vector<std::string> const& lines,
                            std::vector<std::pair<std::string, std::string>> const& keys) {
  std::vector<std::string> out = lines;
  for (auto const& [key, value] : keys) {
    std::string squeezed, line = key + ": " + value;
    for (char c : key)
      if (c != ' ') squeezed += c;
    bool found = false;
    for (std::string& l : out)
      if (key_of(l) == squeezed) l = line, found = true;
    if (!found) out.push_back(line);
  }
  std::string text;
  for (std::string const& l : out) text += l + "\n";
  return text;
}

InputStatus read_study_inputs(std::string const& param_file, std::string const& study_file,
                              std::string const& solver, StudyInputs& st) {
  InputFiles files;
  std::vector<std::string> lines;
  RunParams p;
  if (InputStatus s = read_shared_params(files, lines, param_file, study_file, solver, p)) return s;
  std::vector<StudyCurve> curves;
  if (InputStatus s = read_study_file(files, study_file, curves)) return s;
  st.path = p.path;
  st.base = p.output_base;
  for (char const* suffix : {"-study.csv", "-study.json", "-study.gp", "-study.png", "-study.pdf"}) {
    std::string out = st.path + st.base + suffix;
    std::error_code ec;
    for (std::string const& in : {param_file, study_file})
      if (std::filesystem::exists(out, ec) && std::filesystem::equivalent(in, out, ec))
        return refused("input error: " + printable(in) + " would be overwritten by the study as " + printable(out) +
                       "; choose another OUTPUT\n");
  }
  st.curves.assign(curves.size(), {});
  for (size_t i = 0; i < curves.size(); i++) {
    StudyCurveInputs& c = st.curves[i];
    read_curve(lines, param_file, study_file, solver, st, curves[i], c);
    if (!c.reason.empty()) continue;
    RunSetup setup(c.inputs);  // a set-up too large to compute fails this curve alone
    c.reason = setup.problem();
    while (!c.reason.empty() && c.reason.back() == '\n') c.reason.pop_back();
    std::string conflict = c.reason.empty() ? run_directory_conflict(setup, param_file) : "";
    if (!conflict.empty()) return refused(conflict);
  }
  return std::nullopt;
}
