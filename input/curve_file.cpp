#include "input/curve_file.h"

#include <cmath>
#include <sstream>

#include "input/input_files.h"
#include "input/text_lines.h"

InputStatus read_curve_file(std::string const& file, double lambda_max, DephasingCurve& c) {
  std::vector<std::string> lines;
  InputFiles files;
  c = DephasingCurve();
  if (!files.lines(file, lines)) return refused("Can't open universal dephasing curve " + printable(file) + "\n");
  return parse_curve_lines(file, lines, lambda_max, 0.0, c);
}

InputStatus parse_curve_lines(std::string const& file, std::vector<std::string> const& lines, double lambda_max,
                              double lambda_needed, DephasingCurve& c) {
  c = DephasingCurve();
  size_t lineno = 0;
  auto refuse = [&](std::string const& what) {
    return refused(printable(file) + " line " + std::to_string(lineno) + ": " + what + "\n");
  };
  for (std::string const& l : lines) {
    lineno++;
    if (iscomment(l) || is_blank(l)) continue;
    std::vector<std::string> tok = split_tokens(l);
    double lam = 0, s = 0;
    if (tok.size() < 2) return refuse("a curve line needs lambda_D and S/S0");
    if (!parse_double_token(tok[0], lam) || !std::isfinite(lam))
      return refuse("lambda_D " + quote_token(tok[0]) + " is not a finite number");
    if (!parse_double_token(tok[1], s) || !std::isfinite(s))
      return refuse("S/S0 " + quote_token(tok[1]) + " is not a finite number");
    if (!c.lambda.empty() && !(lam > c.lambda.back()))
      return refuse("lambda_D values must strictly ascend");
    if (c.lambda.empty() && !(std::fabs(lam) < 1e-12)) {
      if (lam > lambda_max) break;
      return refuse("the curve must start at lambda_D 0");
    }
    c.lambda.push_back(lam);
    c.signal.push_back(s);
    // Points beyond the largest lambda_D of the set-up are not needed; the
    // first one beyond it is kept, so that it brackets every lookup.
    if (lam > lambda_max) break;
  }
  if (c.lambda.empty()) {
    std::ostringstream o;
    o << printable(file) << ": no point of the curve lies at or below lambda_D " << lambda_max << "\n";
    return refused(o.str());
  }
  if (c.lambda.back() < lambda_needed) {
    std::ostringstream o;
    o << "LAMBDA_D " << printable(file) << ": the curve reaches lambda_D " << c.lambda.back()
      << ", but the grid and the data need it up to lambda_D " << lambda_needed
      << " (the shortest distance at the largest N_c); extend the curve, or raise NEAR or lower LAST POINT\n";
    return refused(o.str());
  }
  return std::nullopt;
}
