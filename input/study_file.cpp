#include "input/study_file.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "input/param_limits.h"
#include "input/text_lines.h"

namespace {

// The data columns in the order of a data file line, then the per-curve keys.
const char* const kDataColumns[] = {"n_c", "s0", "s", "s_s0", "error"};
const std::pair<char const*, char const*> kCurveKeys[] = {
    {"mas", "MAS"}, {"xn", "XN"}, {"yn", "YN"}, {"scaling", "SCALING"}};

std::string trimmed(std::string const& s) {
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::vector<std::string> fields(std::string const& line) {
  std::vector<std::string> f;
  size_t start = 0;
  for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
    f.push_back(trimmed(line.substr(start, comma - start)));
  f.push_back(trimmed(line.substr(start)));
  return f;
}

class StudyReader {
 public:
  explicit StudyReader(std::string const& file) : file_(printable(file)) {}
  InputStatus header(size_t lineno, std::string const& line);
  InputStatus row(size_t lineno, std::string const& line, std::vector<StudyCurve>& curves);

 private:
  InputStatus refuse(size_t lineno, std::string const& what) const {
    return refused("study file " + file_ + " line " + std::to_string(lineno) + ": " + what + "\n");
  }
  InputStatus check_name(size_t lineno, std::string const& name) const;
  InputStatus take_keys(size_t lineno, std::vector<std::string> const& f, StudyCurve& c) const;

  std::string file_;
  std::map<std::string, size_t> column_;  // column name -> field index
  std::map<std::string, size_t> index_;   // curve name -> index in curves
};

InputStatus StudyReader::header(size_t lineno, std::string const& line) {
  std::vector<std::string> f = fields(line);
  for (size_t i = 0; i < f.size(); i++) {
    bool known = f[i] == "curve" || std::count(std::begin(kDataColumns), std::end(kDataColumns), f[i]);
    for (auto const& k : kCurveKeys) known = known || f[i] == k.first;
    if (!known)
      return refuse(lineno, "unknown column " + quote_token(f[i]) +
                                "; the columns are curve,n_c,s0,s,s_s0,error and optionally mas,xn,yn,scaling");
    if (!column_.emplace(f[i], i).second) return refuse(lineno, "the column " + quote_token(f[i]) + " is given twice");
  }
  for (char const* need : {"curve", "n_c", "s0", "s", "s_s0", "error"})
    if (!column_.count(need))
      return refuse(lineno, "the header " + quote_token(line) + " has no column " + need +
                                "; a study file needs curve,n_c,s0,s,s_s0,error");
  return std::nullopt;
}

InputStatus StudyReader::check_name(size_t lineno, std::string const& name) const {
  bool ok = !name.empty() && name != "." && name != ".." && name.size() <= 100;
  for (char c : name) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-');
  if (ok) return std::nullopt;
  return refuse(lineno, "curve name " + quote_token(name) +
                            " cannot name a run directory: use 1 to 100 letters, digits, '.', '_' and '-' "
                            "(not \".\" or \"..\")");
}

// The per-curve values: the first row of a curve sets them, later rows must repeat them.
InputStatus StudyReader::take_keys(size_t lineno, std::vector<std::string> const& f, StudyCurve& c) const {
  bool first = c.first_line == lineno;
  for (auto const& [column, key] : kCurveKeys) {
    auto at = column_.find(column);
    if (at == column_.end()) continue;
    std::string const& v = f[at->second];
    if (first) {
      c.keys.emplace_back(key, v);
      continue;
    }
    auto held = std::find_if(c.keys.begin(), c.keys.end(), [&](auto const& k) { return k.first == key; });
    if (held->second != v)
      return refuse(lineno, std::string(column) + " " + quote_token(v) + " differs from " + quote_token(held->second) +
                                " on line " + std::to_string(c.first_line) + " of curve " + quote_token(c.name) +
                                "; " + column + " holds one value per curve");
  }
  return std::nullopt;
}

InputStatus StudyReader::row(size_t lineno, std::string const& line, std::vector<StudyCurve>& curves) {
  std::vector<std::string> f = fields(line);
  if (f.size() != column_.size())
    return refuse(lineno, std::to_string(f.size()) + " fields, but the header has " +
                              std::to_string(column_.size()) + " columns");
  for (auto const& [column, i] : column_) {
    bool may_be_empty = column == "error";  // a data file may leave the error out
    if ((f[i].empty() && !may_be_empty) || f[i].find_first_of(" \t") != std::string::npos)
      return refuse(lineno, column + " " + quote_token(f[i]) + " must be one value, neither empty nor with blanks");
  }
  std::string const& name = f[column_.at("curve")];
  if (InputStatus s = check_name(lineno, name)) return s;
  auto [at, is_new] = index_.emplace(name, curves.size());
  if (is_new) {
    if (curves.size() >= kMaxStudyCurves)
      return refuse(lineno, "more than " + std::to_string(kMaxStudyCurves) + " curves");
    curves.push_back({name, lineno, "# curve " + name + ": N_c S0 S S/S0 error at the study file's lines\n", {}});
  }
  StudyCurve& c = curves[at->second];
  if (InputStatus s = take_keys(lineno, f, c)) return s;
  // Blank lines up to this row's line, then the row as a data file line.
  size_t held = static_cast<size_t>(std::count(c.data_text.begin(), c.data_text.end(), '\n'));
  c.data_text.append(lineno - 1 - held, '\n');
  for (char const* col : kDataColumns) c.data_text += f[column_.at(col)] + " ";
  c.data_text.back() = '\n';
  return std::nullopt;
}

}  // namespace

InputStatus read_study_file(InputFiles& files, std::string const& file, std::vector<StudyCurve>& curves) {
  curves.clear();
  std::vector<std::string> lines;
  std::string why;
  if (!files.lines(file, lines, &why)) return refused("study file " + printable(file) + " cannot be read: " + why + "\n");
  StudyReader reader(file);
  bool have_header = false;
  for (size_t i = 0; i < lines.size(); i++) {
    if (iscomment(lines[i]) || is_blank(lines[i])) continue;
    InputStatus s = have_header ? reader.row(i + 1, lines[i], curves) : reader.header(i + 1, lines[i]);
    if (s) return s;
    have_header = true;
  }
  if (curves.empty())
    return refused("study file " + printable(file) + ": no data rows; after the header curve,n_c,s0,s,s_s0,error " +
                   "each line holds one data point\n");
  return std::nullopt;
}
