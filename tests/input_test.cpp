// The input files: the parameter reader (the 33-line file and the free
// form), the refusals of every input (one exact line each, before anything
// is written), the data, prescribed-distribution and dephasing-curve
// readers, and the nuclei. Values parsed from text are compared exactly:
// strtod and the compiler round the same decimal to the same double.
#include <sys/stat.h>

#include <thread>

#include <algorithm>
#include <iomanip>

#include "input/anneal_schedule.h"
#include "input/curve_file.h"
#include "input/nuclei.h"
#include "numeric/warnings.h"
#include "tests/test_support.h"

using namespace ts;

// Other orders, comments, indents and line ends: the template property
// (properties_test.cpp); keys left out: the table of every key below.
TEST(ParamFile, ValuesListsRemarksAndBlanksInKeys) {
  // NTRIES 3: MAX STEP SIZE is filled with its entry 0, INIT TEMP with 0, a
  // 4th ITERS AT TEMP is ignored, a word ends a list. Trailing blanks, a
  // remark after a value (a sign not before a digit) and an exponent are read; a blank in a key matches
  // any run of white space, or none.
  Over over = {{"NTRIES", "3"}, {"MAX STEP SIZE", "0.5 0.25"}, {"BOLTZMANN", "1 2   \t "},
               {"INIT TEMP", "500"}, {"NEAR", "2.5 -- Angstrom"}, {"MAS", "4E+03"}, {"SCALING", "1.5 0.8"},
               {"MIN STDEV2", "1e-3"}, {"PER 2PI", "=PER2PI: 8"}, {"MID PULSE", "=MID \t PULSE:\t12.5"},
               {"ITERS AT TEMP", "=ITERS  AT\tTEMP:100 200 300 400"}, {"MIN TEMP", "250 x 7"}};
  TempDir d;
  write_file(d.file("p.par"), param_text(over));
  RunParams p;
  ASSERT_FALSE(read_params(d.file("p.par"), "annealing", p));
  EXPECT_EQ(p.mode + " " + p.xydata_file + " " + p.path + " " + p.output_base + " " +
                p.detect_nucleus + p.dephase_nucleus, "fit data.dat ./ run C13N15");
  EXPECT_EQ((V{p.near, double(p.per_2pi), p.mid_pulse, p.mas, p.scaling_a, p.scaling_b,
               double(p.ntries), p.min_stdev2, p.max_mc_chi2, double(p.defaulted)}),
            (V{2.5, 8, 12.5, 4000, 1.5, 0.8, 3, 1e-3, 1e6, 0}));
  EXPECT_EQ((std::vector<V>{p.iters_at_temp, p.max_step_size, p.boltzmann, p.init_temp, p.min_temp}),
            (std::vector<V>{{100, 200, 300}, {0.5, 0.25, 0.5}, {1, 2, 1}, {500, 0, 0}, {250, 250, 250}}));
  // A start temperature below 1e-12 continues from the best state's (0), from 1e-12 on it is the try's own.
  p.init_temp = {500, 9.9e-13, 1e-12};
  EXPECT_EQ((V{try_schedule(p, 0).start, try_schedule(p, 1).start, try_schedule(p, 2).start}), (V{500, 0, 1e-12}));
  p.max_step_size = {0.5, 1.1e-11, 1.2e-11};  // a step below 1.2e-11 counts as not given
  EXPECT_EQ((V{try_schedule(p, 1).step, try_schedule(p, 2).step}), (V{0.5, 1.2e-11}));
}

namespace {

// The message without the temporary directory in front of file names.
std::string relative(std::string msg, TempDir const& d) {
  for (size_t at; (at = msg.find(d.path() + "/")) != std::string::npos;) msg.erase(at, d.path().size() + 1);
  return msg;
}
std::string relative(InputStatus const& s, TempDir const& d) { return s ? relative(s->message, d) : ""; }

struct BadInput {
  char const* name;
  Over over;
  std::string data, dist;  // data.dat (after the two good lines below) and dist.dat
  std::string message;     // the refusal, whole; empty: accepted
  char const* solver = "annealing";
};

const std::string kLong(100 * 1024, 'x'), kNul("\0", 1);
const std::string e = "parameter error: ", line = e + "p.par line ";

std::vector<BadInput> bad_inputs() {
  return {
      // ---- the parameter file: numbers, keys and lines ----
      {"DecimalComma", {{"NEAR", "2,5"}}, "", "", line + "9: NEAR \"2,5\" is not a number; use a decimal point: 2.5"},
      {"GluedText", {{"FAR", "6.0abc"}}, "", "", line + "10: FAR \"6.0abc\" is not a number"},
      {"SecondScaling", {{"SCALING", "1 0.8x"}}, "", "", line + "15: SCALING \"0.8x\" is not a number"},
      {"NotWhole", {{"ITERS AT TEMP", "100 200.5 300"}, {"NTRIES", "3"}}, "", "", line + "18: ITERS AT TEMP \"200.5\" is not a whole number"},
      {"HugeInt", {{"PER 2PI", "2147483648"}}, "", "", line + "12: PER 2PI \"2147483648\" is too large a whole number"},
      {"LargestInt", {{"PER 2PI", "2147483647"}}, "", "", line + "12: PER 2PI is 2147483647; at most 100000 are allowed"},
      {"WrongCase", {{"SCALING", "=Scaling: 0.8"}}, "", "", line + "15: \"Scaling:\" is not a key; did you mean SCALING:?"},
      {"UnknownKey", {{"MODE", "=MODE: fit\nTEMPERATURE: 300"}}, "", "", line + "2: unknown key \"TEMPERATURE:\"; redordist --template lists the keys"},
      {"NoColon", {{"MODE", "=MODE: fit\nextra line"}}, "", "", line + "2: \"extra line\" is not a \"KEY: value\" line (a comment starts with #)"},
      {"Twice", {{"LAST POINT", "=LAST POINT: 0\nSCALING: 0.9"}}, "", "", line + "17: SCALING is given twice (first on line 15)"},
      {"ScheduleNotNeeded", {{"NTRIES", "-"}, {"ERR BOLTZMANN", "-"}, {"ATTEN TEMP", "0.5"}}, "4 1000 960 0.96 0.02\n", "", "", "gaussians"},
      // ---- values against the key table's rules ----
      {"ScalingZeroGaussians", {{"SCALING", "0"}, {"MODE", "sim"}}, "", "", line + "15: SCALING is 0; it must be above 0 (the share of X that Y can dephase)", "gaussians"},
      {"ModeUnknown", {{"MODE", "Fit"}}, "", "", line + "1: MODE is \"Fit\"; it must be fit, err or sim"},
      {"OutputQuote", {{"OUTPUT", "x'.system('touch${IFS}pwned').'"}}, "", "",
       line + "6: OUTPUT is \"x'.system('touch${IFS}pwned').'\"; it may hold only letters, digits, \".\", \"_\", \"-\" and \"+\" (not \".\" or \"..\")"},
      {"OutputDotDot", {{"OUTPUT", ".."}}, "", "", line + "6: OUTPUT is \"..\"; it may hold only letters, digits, \".\", \"_\", \"-\" and \"+\" (not \".\" or \"..\")"},
      {"OutputSlash", {{"OUTPUT", "a/b"}}, "", "", line + "6: OUTPUT is \"a/b\"; it may hold only letters, digits, \".\", \"_\", \"-\" and \"+\" (not \".\" or \"..\")"},
      {"PathWithoutSlash", {{"PATH", "runs"}}, "", "", line + "5: PATH is \"runs\"; it must be empty or end with \"/\""},
      {"PathPipe", {{"PATH", "|x/"}}, "", "", line + "5: PATH is \"|x/\"; it may hold only letters, digits, \".\", \"_\", \"-\", \"+\" and \"/\""},
      {"PathMissing", {{"PATH", "no_such_runs/"}}, "", "", e + "PATH \"no_such_runs/\" does not exist; create it with: mkdir -p no_such_runs/"},
      {"OutputUtf8", {{"OUTPUT", "Probe_\xc3\xa4+1"}}, "", "", ""},
      {"TooManyTrials", {{"NTRIES", "1000"}, {"ATTEN TEMP", "1.0001"}, {"ITERS AT TEMP", "1000"}, {"INIT TEMP", "20"}}, "", "",  // 1000 x 1000 x (floor(ln(20 / 0.5) / ln 1.0001) + 1)
       e + "the annealing schedule implies up to 3.6891e+10 trials, more than the limit of 1e+09; raise ATTEN TEMP or MIN TEMP, or lower ITERS AT TEMP or NTRIES"},
      {"TooManyMcRuns", {{"MODE", "err"}, {"PER MC BLOCK", "10000"}, {"MAX MC BLOCKS", "1000"}}, "", "",
       e + "PER MC BLOCK x MAX MC BLOCKS is 1e+07 Monte Carlo runs, more than the limit of 1e+06"},
      {"McRunsAtTheLimit", {{"MODE", "err"}, {"PER MC BLOCK", "1000"}, {"MAX MC BLOCKS", "1000"}}, "", "", ""},
      {"TrialsAtTheLimit", {{"NTRIES", "1000"}, {"ATTEN TEMP", "1.0036975"}, {"ITERS AT TEMP", "1000"}, {"INIT TEMP", "20"}}, "", "", ""},  // 1000 steps: 1e9
      {"Per2piOne", {{"PER 2PI", "1"}}, "", "", line + "12: PER 2PI is 1; it must be 0 (the exact closed form) or at least 2 for the powder average"},
      {"SecondNumber", {{"NEAR", "2 .5"}}, "", "", line + "9: NEAR has a second number \".5\" after \"2\"; write one number (a remark after it must start with a letter)"},
      {"RemarkFromAPoint", {{"NEAR", "2 .x"}}, "", "", line + "9: NEAR has a second number \".x\" after \"2\"; write one number (a remark after it must start with a letter)"},
      {"NoBreakSpace", {{"NEAR", "\xc2\xa0" "2.5"}}, "", "", line + "9: NEAR \"<U+00A0 no-break space>2.5\" is not a number"},
      {"LeadByteAlone", {{"NEAR", "2.5\xc2`"}}, "", "", line + "9: NEAR \"2.5\xc2`\" is not a number"},  // not U+00A0
      {"ZeroWidthSpace", {{"MAS", "5000\xe2\x80\x8b"}}, "", "", line + "14: MAS \"5000<U+200B zero-width space>\" is not a number"},
      {"EmptyPathIsHere", {{"PATH", ""}}, "", "", ""},
      // 33 keys and blank lines: a parameter file of at most 1000 lines.
      {"ThousandLines", {{"MAX MC CHI2", "1e6" + std::string(967, '\n')}}, "", "", ""},
      {"ThousandAndOneLines", {{"MAX MC CHI2", "1e6" + std::string(968, '\n')}}, "", "", e + "p.par has more than 1000 lines; it holds one line per key"},
      {"NulInText", {{"MODE", "fit" + kNul + "x"}}, "", "", line + "1: MODE is \"fit\\x00x\"; it must be fit, err or sim"},
      {"NulInAWholeNumber", {{"PER 2PI", "24" + kNul}}, "", "", line + "12: PER 2PI \"24\\x00\" is not a number"},
      {"LongRemark", {{"NEAR", "2.5 " + kLong}}, "", "", ""}, {"NucleiAsWritten", {{"XN", "13C"}, {"YN", "Pb207"}}, "", "", ""},
      {"NucleusX", {{"XN", "c13"}}, "", "", "detect nucleus (X) not recognized: XN is \"c13\"; accepted: " + accepted_nuclei()},
      {"NucleusY", {{"YN", "N-15"}}, "", "", "dephasing nucleus (Y) not recognized: YN is \"N-15\"; accepted: " + accepted_nuclei()},
      {"FarBelowNear", {{"FAR", "2"}}, "", "", line + "10: FAR is 2; it must not be below NEAR"},
      {"NearTooShort", {{"NEAR", "0.4"}}, "", "", line + "9: NEAR is 0.4; it must be at least 0.5 Angstrom (no chemical bond is shorter)"},
      {"GridTooLarge", {{"FAR", "100002.5"}, {"GRAIN", "0.1"}}, "", "",
       e + "NEAR 2.5 to FAR 100002 every GRAIN 0.1 makes more than 100000 distances"},
      {"RunDirTooLong", {{"PATH", "./" + std::string(175, 'b') + "/"}}, "", "",
       e + "PATH + OUTPUT + \"/\" is 182 characters long; at most 179 are allowed; give PATH relative to the folder you run "
       "redordist in (e.g. runs/), or shorten OUTPUT"},
      {"InitTemp", {{"INIT TEMP", "0"}}, "", "", line + "21: INIT TEMP of try 1 is 0; it must be above 0"},
      {"AttenTempOfTry2", {{"NTRIES", "2"}, {"ATTEN TEMP", "2 0.5"}}, "", "", line + "22: ATTEN TEMP of try 2 is 0.5; it must be above 1"},
      {"BeyondNtriesNotRead", {{"NTRIES", "1"}, {"ATTEN TEMP", "2 -5x"}}, "", "", ""}, {"SignedWordInAList", {{"NTRIES", "2"}, {"ATTEN TEMP", "2 -5x"}}, "", "", line + "22: ATTEN TEMP \"-5x\" is not a number"},
      {"GaussiansRange", {{"FAR", "2.55"}}, "", "", e + "FAR - NEAR is 0.05 Angstrom; it must be above 0.1 for --solver gaussians", "gaussians"},
      {"MaxentRangeAtItsLimit", {{"FAR", "2.7999999995"}}, "", "", "", "maxent"},  // within 1e-9 of 0.3: a rounded value
      {"MaxentRange", {{"NEAR", "3.0"}, {"FAR", "3.2"}}, "", "", e + "FAR - NEAR is 0.2 Angstrom; it must be at least 0.3 for --solver maxent", "maxent"},
      // ---- only none means none ----
      {"LambdaMistyped", {{"LAMBDA_D", "curve.dta"}}, "", "", e + "LAMBDA_D \"curve.dta\" cannot be opened; write none for no universal dephasing curve"},
      {"DistMistyped", {{"DISTDIST", "dist.dta"}}, "", "", e + "DISTDIST \"dist.dta\" cannot be opened; write none for no prescribed distribution"},
      {"DistDirectory", {{"DISTDIST", "/"}}, "", "", e + "DISTDIST \"/\" cannot be opened; write none for no prescribed distribution"},
      // ---- the data file: the file, the physical line, the fault and the fix ----
      {"DataThreeColumns", {}, "8 0.87 0.02\n", "", "data.dat line 3: 3 columns, but a data line holds N_c S0 S S/S0 error (the error may "
       "be left out); for S/S0 alone write S0 = 1 and S = S/S0: \"8 1 0.87 0.87 0.02\""},
      // 5e-7 off at 1e-8 written, on columns fixed to 1e-9: beyond their rounding (about 1e-9)
      {"DataRatioMismatch", {}, "4 1.000000000 0.001000000 0.00100050 0.02\n", "", "data.dat line 3: S/S0 in column 4 is 0.00100050, but S / S0 from columns 3 and 2 (0.001000000 / 1.000000000) is 0.001; the columns are N_c S0 S S/S0 error"},
      // Each column rounded to its digits: S0 and S to 0.1 carry 2e-4 into S / S0; written to 14 digits, S/S0 may lie 1e-9 of itself off;
      // S0 3 (2.5 to 3.5) with S 1.00 allows S / S0 from 0.29 to 0.40.
      {"DataRatioRounded", {}, "4 1000 963 0.96 0.02\n6 3 2 0.6667 0.02\n8 1000 960 9.6e-1 0.02\n10 997.4 1004.5 1.00709 0.02\n12 1.0000000000000 0.90000000000000 0.90000000050000 0.02\n14 3 1.00 0.35 0.02\n", "", ""},
      // 9.8e-1 is written to 0.01 (its exponent read): 0.02 from 960 / 1000 lies beyond (9.7e-1, one unit off, passes).
      {"DataRatioExponent", {}, "8 1000 960 9.8e-1 0.02\n", "", "data.dat line 3: S/S0 in column 4 is 9.8e-1, but S / S0 from columns 3 and 2 (960 / 1000) is 0.96; the columns are N_c S0 S S/S0 error"},
      {"DataCommaDecimal", {}, "4 800,5 700 0.874 0.02\n", "", "data.dat line 3: S0 \"800,5\" is not a number; use a decimal point: 800.5"},
      {"DataErrorsInPercent", {}, "4 1000 960 0.96 2\n", "", ""},  // one such error among fractions: a warning only
      {"DataText", {}, "4 1000 abc 0.9 0.02\n", "", "data.dat line 3: S \"abc\" is not a number"},
      {"DataLongWord", {}, "4 1000 x123456789abcdefghijklmnopqrstuvwxyz0123456789xyz 0.9 0.02\n", "",
       "data.dat line 3: S \"x123456789abcdefghijklmnopqrstuvwxyz0123...\" is not a number"},  // its first 40 bytes
      {"DataWord40", {}, "4 1000 x123456789abcdefghijklmnopqrstuvwxyz0123 0.9 0.02\n", "",
       "data.dat line 3: S \"x123456789abcdefghijklmnopqrstuvwxyz0123\" is not a number"},  // 40 bytes: whole
      {"DataNaN", {}, "4 NaN 960 0.96 0.02\n", "", "data.dat line 3: S0 is not a finite number"},
      {"DataHugeInt", {}, "99999999999 1000 960 0.96 0.02\n", "", "data.dat line 3: N_c \"99999999999\" is not a whole number of rotor cycles"},
      {"DataOdd", {}, "3 1 0.9 0.9 0.1\n", "", "data.dat line 3: N_c 3 is odd; REDOR points lie at even rotor-cycle counts"},
      {"DataZeroS0", {}, "2 0 0.5 1 0.1\n", "", "data.dat line 3: S0 is 0, so S/S0 cannot be formed"},
      {"DataBeyondLastPoint", {{"LAST POINT", "4"}}, "\n6 1 0.9 0.9 0.1\n", "",
       "data.dat line 4: N_c 6 lies beyond LAST POINT 4 (LAST POINT is smaller than the data's largest cycle count)"},
      {"DataNul", {}, "4 1000 9" + kNul + "60 0.96 0.02\n", "", "data.dat line 3: S \"9\\x0060\" is not a number"},
      {"DataLongRemark", {}, "4 1000 960 0.96 0.02 " + kLong + "\n", "", ""},
      {"DataDevice", {{"XYDATA", "/dev/zero"}}, "", "", "Can't open datafile /dev/zero"},
      // residual / error beyond 1e140: chi2 would overflow (SCALING 1e10 still runs)
      {"ChiOverflowScaling", {{"SCALING", "1e300"}}, "", "", "XYDATA data.dat line 2: S/S0 1 with the error 0.02 and "
       "SCALING 1e+300: (|1 - S/S0| + SCALING) / error must be at most 1e140, or chi2 overflows"},
      {"ChiOverflowRatio", {}, "4 1 1e150 1e150 0.5\n", "", "XYDATA data.dat line 3: S/S0 1e+150 with the error 0.5 and "
       "SCALING 1: (|1 - S/S0| + SCALING) / error must be at most 1e140, or chi2 overflows"},
      {"ScalingHuge", {{"SCALING", "1e10"}}, "", "", ""},
      {"GaussiansOnePoint", {}, "", "", "XYDATA data.dat: 1 data point; --solver gaussians needs at least 2 in mode fit and "
       "err (one Gaussian has two free parameters, centre and width)", "gaussians"},
      // ---- the prescribed distribution ----
      {"DistText", {}, "", "# r p\n3.0 0.2\n4.5 half\n", "dist.dat line 3: density \"half\" is not a finite number"},
      {"DistNoDistance", {}, "", "3.0 0.2\nfar 0.1\n", "dist.dat line 2: distance \"far\" is not a finite number"},
      {"DistNegative", {}, "", "0.5 0.1\n3.0 0.2\n-4.5 0.1\n", "dist.dat line 3: distance \"-4.5\" must be at least 0.5 Angstrom"},  // 0.5: the limit
      {"DistFraction", {}, "", "3.0 1.2\n", "dist.dat line 1: fraction \"1.2\" must lie between 0 and 1"},
      {"DistTooMany", {}, "", [] { std::string s; for (int i = 0; i <= 100000; i++) s += "3.0 0\n"; return s; }(), "dist.dat line 100001: more than 100000 distances"},
      {"DistWhole", {}, "", "3.0 0.6\n4.0 0.4\n", "DISTDIST dist.dat: the fractions add up to 1; they must add up to less than 1 in mode fit and err, where the rest is fitted"},
      {"DistWholeInSim", {{"MODE", "sim"}}, "", "3.0 0.6\n4.0 0.4\n", ""},
      {"DistOverWholeInSim", {{"MODE", "sim"}}, "", "3.0 0.9\n4.0 0.6\n", "DISTDIST dist.dat: the fractions add up to 1.5; they must add up to at most 1"}};
}

class BadInputs : public ::testing::TestWithParam<BadInput> {};

}  // namespace

TEST_P(BadInputs, RefusedWithOneExactLineOrAccepted) {
  BadInput const& c = GetParam();
  TempDir d;
  std::string par = write_inputs(d, c.over, "# N_c S0 S S/S0 err\n0 1000 1000 1.0 0.02\n" + c.data, c.dist);
  RunInputs in;
  std::string msg;
  auto files = [&] { return std::distance(std::filesystem::directory_iterator(d.path()), {}); };
  auto before = files();
  EXPECT_EQ(refusal_of([&] {
    if (InputStatus s = read_run_inputs(par, c.solver, in)) msg = std::to_string(s->status) + " " + s->message;
  }), "");
  EXPECT_EQ(relative(msg, d), c.message.empty() ? "" : "1 " + c.message + "\n");
  EXPECT_EQ(files(), before);  // reading creates nothing
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadInputs, ::testing::ValuesIn(bad_inputs()),
                         [](auto const& info) { return std::string(info.param.name); });

// Every key of the table and each rule on it, generated from the table so
// that a new key is tested too: an empty value and a word where a number
// belongs (refused naming the file's line), the line left out (refused
// unless the key is optional), each bound from both sides (and not checked
// in mode fit for a key of mode err), a value that is no finite number, and
// text one character too long. Mode err, so every key is read: maxent's
// keys by maxent, the schedules by the annealing; in the 33-line file and
// in the short form (only the keys the run needs, backwards between
// comments), each with LF and with CR LF line ends.
TEST(ParamFile, EveryKeyAndRuleOfTheTableFromBothSides) {
  TempDir d;
  write_file(d.file("data.dat"), kSmallData);
  const std::map<Need, std::string> who = {{Need::kRequired, "every run needs it"}, {Need::kErr, "mode err needs it"},
      {Need::kAnnealing, "--solver annealing needs it in mode fit and err"}, {Need::kAnnealingErr, "--solver annealing needs it in mode err"}};
  auto num = [](double v, int digits) { std::ostringstream s; s << std::setprecision(digits) << v; return s.str(); };
  for (ParamKey const& k : param_keys())
    for (int form = 0; form < 4; form++) {
      bool shortened = form & 1, annealing = k.need == Need::kAnnealing || k.need == Need::kAnnealingErr;
      std::string eol = form & 2 ? "\r\n" : "\n", at, name = k.name;
      SCOPED_TRACE(name + (shortened ? " short" : " 33-line") + (form & 2 ? " CR LF" : ""));
      auto refusal = [&](std::string const& v, std::string const& mode = "err") {
        Over o = {{"MODE", mode}, {"XYDATA", d.file("data.dat")}, {"PATH", d.path() + "/"}};
        o[name] = v;
        std::string text = shortened ? "# the keys this run reads" + eol : "";
        std::vector<ParamKey> keys = param_keys();
        if (shortened) std::reverse(keys.begin(), keys.end());
        for (ParamKey const& q : keys) {
          bool read = q.need == Need::kRequired || q.need == Need::kErr || (annealing && q.need != Need::kOptional);
          std::string qv = o.count(q.name) ? o[q.name] : param_defaults().at(q.name);
          if ((shortened && !read && q.name != name) || qv == "-") continue;
          if (q.name == name) at = e + "p.par line " + std::to_string(lines_of(text).size() + 1) + ": " + name;
          text += q.name + std::string(": ") + qv + eol + (shortened ? "# --" + eol : "");
        }
        write_file(d.file("p.par"), text);
        RunInputs in;
        return relative(read_run_inputs(d.file("p.par"), annealing ? "annealing" : "maxent", in), d);
      };
      refusal("0");  // finds the key's line: at
      // An empty PATH is the folder the program runs in.
      EXPECT_EQ(refusal(""), name == "PATH" ? "" : at + " has no value; write for example \"" + name + ": " + k.example + "\"\n");
      EXPECT_EQ(refusal("-"), k.need == Need::kOptional ? "" : e + "p.par has no " + name + " line, and " + who.at(k.need) +
                "; add one such as \"" + name + ": " + k.example + "\" (" + key_note(k) + ")\n");
      if (k.kind == ValueKind::kText && k.max_len > 0) {  // MODE, XN and YN: refused first as not one of theirs
        EXPECT_EQ(k.max_len, (std::map<std::string, size_t>{{"MODE", 3}, {"LAMBDA_D", 79}, {"XYDATA", 78}, {"DISTDIST", 78}, {"OUTPUT", 157}, {"XN", 5}, {"YN", 5}}.at(name)));
        std::string over = "b" + std::string(k.max_len, 'a'), got = refusal(over), longer = at + " is " + std::to_string(k.max_len + 1);
        if (name == "MODE" || name == "XN" || name == "YN") { EXPECT_NE(got.find(name + " is \"" + over + "\";"), std::string::npos) << got; }
        else { EXPECT_EQ(got.substr(0, got.find(" allowed") + 8), longer + " characters long; at most " + std::to_string(k.max_len) + " are allowed"); }
        EXPECT_EQ(got.find("(e.g. ../data/" + over.substr(0, 24) + ")") != std::string::npos, name == "XYDATA" || name == "DISTDIST" || name == "LAMBDA_D");  // a file's name, cut
        EXPECT_EQ(refusal(over.substr(1)).find(name + " is " + std::to_string(k.max_len)), std::string::npos);
      }
      if (k.kind == ValueKind::kText) continue;
      EXPECT_EQ(refusal("x"), at + " \"x\" is not a number\n");
      EXPECT_EQ(refusal("inf"), k.kind == ValueKind::kInt || k.kind == ValueKind::kIntList ? at + " \"inf\" is not a whole number\n" : at +
                (k.list ? " of try 1" : "") + " is inf; it must be a finite number\n");
      if (k.second) { EXPECT_EQ(refusal("1 -inf"), at + " (second value) is -inf; it must be a finite number\n"); }
      const Rule r = k.rule;
      for (auto [bound, why] : {std::pair{r.lo, r.lo_text}, {r.hi, r.hi_text}})  // the number a rule's text names is its bound
        if (std::cmatch m; why && std::regex_search(why, m, std::regex("(at most|at least|above|below) ([0-9.]+)"))) { EXPECT_EQ(std::stod(m[2]), bound) << why; }
      const std::tuple<bool, double, double, char const*> sides[] = {  // finite?, refused, accepted, why
          {std::isfinite(r.lo), r.lo_open ? r.lo : r.lo - 1, r.lo_open ? r.lo + 1e-3 : r.lo, r.lo_text}, {std::isfinite(r.hi), r.hi + 1, r.hi, r.hi_text}};
      for (auto const& [finite, bad, good, why] : sides) {
        if (!finite) continue;
        EXPECT_EQ(refusal(num(bad, 17)), at + " is " + num(bad, 6) + "; " + why + "\n");
        EXPECT_EQ(refusal(num(good, 17)).find(why), std::string::npos);
        if (k.need == Need::kErr || k.need == Need::kAnnealingErr) { EXPECT_EQ(refusal(num(bad, 17), "fit"), ""); }
      }
    }
}

TEST(DataFile, ColumnsCommentsTheErrorRuleAndPercent) {
  TempDir d;
  auto read = [&](std::string const& text, std::vector<DataPoint>* pts = nullptr) {
    write_file(d.file("a.dat"), text);
    std::vector<DataPoint> got;  // read_data_file clears the points first
    return relative(read_data_file(d.file("a.dat"), 0, pts ? *pts : got), d);
  };
  // The last line has no newline; blank and comment lines count as lines.
  std::vector<DataPoint> pts;
  EXPECT_EQ(read("# N_c S0 S S/S0 err\n0 1.0 1.0 1.0 0.02\n\n# x\n   \t \n2 1.0 0.9 0.9 0.02\n4 2.0 1.6 0.8 0.03", &pts), "");
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_EQ((V{double(pts[2].nc), pts[2].s0, pts[2].s, pts[2].err, double(pts[2].lineno)}), (V{4, 2.0, 1.6, 0.03, 7}));
  // err 0, 1e-13, 1.0, 5.0, -0.1 and a missing one mean "no usable error",
  // 1.0; 0.5 and 1e-12 are kept.
  EXPECT_EQ(read("0 1 1 1 0\n0 1 1 1 1e-13\n0 1 1 1 1.0\n0 1 1 1 5.0\n0 1 1 1 -0.1\n0 1 1 1\n"
                 "0 1 1 1 0.5\n0 1 1 1 1e-12\n", &pts), "");
  V errs;
  for (DataPoint const& p : pts) errs.push_back(p.err);
  EXPECT_EQ(errs, (V{1, 1, 1, 1, 1, 1, 0.5, 1e-12}));
  std::string many;  // at most 100000 points
  for (int i = 0; i < 100000; i++) many += "0 1 1 1 0.02\n";
  EXPECT_EQ(read(many) + "|" + read(many + "8 1 1 1 0.02\n"), "|a.dat line 100001: more than 100000 data points\n");
  EXPECT_EQ(read("8 0.87\n"), "a.dat line 1: 2 columns, but a data line holds N_c S0 S S/S0 error (the error may be "
            "left out); for S/S0 alone write S0 = 1 and S = S/S0: \"8 1 0.87 0.87\"\n");
  // Each rule at both sides of its threshold: every error 1 or more while
  // S/S0 stays at or below 1.2 (percent errors), more than half of S/S0
  // above 1.5 (percent S/S0), S/S0 outside -0.2 to 1.2 (a warning).
  auto outcome = [&](std::string const& data) {
    if (std::string msg = read(data, &pts); !msg.empty()) return msg;
    warn_about_data("a.dat", pts);
    std::string said = "accepted";  // and how many points the range warning names
    for (auto const& w : take_warnings())
      if (size_t at = w.find("a.dat: "); w.find("S/S0 outside -0.2 to 1.2") != std::string::npos) said += ", " + w.substr(at + 7, w.find(" points") - at - 7) + " outside";
    return said;
  };
  const std::pair<std::string, std::string> sides[] = {
      {"0 1 1 1\n4 1 1.2 1.2 1.0\n", "a.dat: every error is 1 or more (line 2: 1) while S/S0 stays at or below 1.2, so the "
       "errors look like percent; write the error of S/S0 as a fraction (2 % as 0.02), or leave the column out\n"}, {"0 1 1 1 1.0\n4 1 1.2001 1.2001 1\n", "accepted, 1 outside"},
      {"0 1 1 1 0.999\n4 1 1 1 1\n", "accepted"}, {"0 1 -0.2 -0.2 0.5\n4 1 1.2 1.2 0.5\n", "accepted"},
      {"0 1 1 1 0.5\n4 1 150 150 0.5\n8 1 1.5001 1.5001 0.5\n", "a.dat: 2 of 3 points have S/S0 above 1.5 (line 2: 150), "
       "so S/S0 looks like percent; write it as a fraction, e.g. S0 100 and S 150 for 150 %\n"},
      {"0 1 1.5 1.5 0.5\n4 1 1.5 1.5 0.5\n8 1 1 1 0.5\n", "accepted, 2 outside"},
      {"0 1 1.5001 1.5001 0.5\n8 1 1 1 0.5\n", "accepted, 1 outside"}, {"0 1 -0.2001 -0.2001 0.5\n", "accepted, 1 outside"}};
  for (auto const& [data, want] : sides) EXPECT_EQ(outcome(data), want) << data;
  PrescribedDist none;
  write_file(d.file("p.dat"), "# nothing here\n\n");  // read, but holding no point
  EXPECT_FALSE(read_prescribed_file(d.file("p.dat"), none));
  EXPECT_EQ((std::vector<bool>{none.readable, none.distance.empty()}), (std::vector<bool>{true, true}));
  EXPECT_FALSE(read_prescribed_file("none", none) || none.readable);
}

TEST(CurveFile, ReadUpToLambdaMaxAndRefusals) {
  TempDir d;
  DephasingCurve c;
  auto read = [&](std::string const& text, double lambda_max) {
    write_file(d.file("curve.dat"), text);
    return relative(read_curve_file(d.file("curve.dat"), lambda_max, c), d);
  };
  // A start within 1e-12 of 0 is taken; the first point beyond lambda_max is
  // the last read (it brackets lookups up to lambda_max).
  EXPECT_EQ(read("# lambda S/S0\n1e-13 1.0\n\n0.5 0.8\n \t\n1.0 0.4\n1.5 0.2\n2 0\n", 0.9), "");
  EXPECT_EQ((std::vector<V>{c.lambda, c.signal}), (std::vector<V>{{1e-13, 0.5, 1.0}, {1.0, 0.8, 0.4}}));
  const std::pair<std::string, std::string> bad[] = {{"0 1.0\n0.25\n", "2: a curve line needs lambda_D and S/S0"},
      {"0 1.0\n0.25 high\n", "2: S/S0 \"high\" is not a finite number"}, {"0 1.0\nnan 0.9\n", "2: lambda_D \"nan\" is not a finite number"},
      {"# c\n0.1 0.99\n0.5 0.8\n", "2: the curve must start at lambda_D 0"}, {"1.5e-12 1\n0.5 0.8\n", "1: the curve must start at lambda_D 0"},
      {"0 1\n0.5 0.8\n\n0.3 0.9\n", "4: lambda_D values must strictly ascend"}};
  for (auto const& [text, msg] : bad) EXPECT_EQ(read(text, 1.0), "curve.dat line " + msg + "\n") << text;
  EXPECT_EQ(read("0.5 0.8\n1.0 0.4\n", 0.2), "curve.dat: no point of the curve lies at or below lambda_D 0.2\n");
}

TEST(Nuclei, GyromagneticRatiosAndDipolarConstant) {
  // 10^7 rad s^-1 T^-1, magnitudes (Harris et al., IUPAC 2001); mass first or symbol first.
  const std::pair<char const*, double> table[] = {{"C13", 6.7283}, {"13C", 6.7283}, {"N15", 2.712},
      {"D2", 4.1066}, {"2H", 4.1066}, {"H2", 4.1066}, {"F19", 25.181}, {"31P", 10.841}, {"1H", 26.7522205},
      {"29Si", 5.3190}, {"Sn119", 10.0317}, {"195Pt", 5.8385}, {"207Pb", 5.58046}, {"77Se", 5.1253857},
      {"89Y", 1.3162791}, {"103Rh", 0.8468}, {"109Ag", 1.2518634}, {"113Cd", 5.9609155}, {"117Sn", 9.58879},
      {"125Te", 8.5108404}, {"129Xe", 7.452103}, {"183W", 1.1282403}, {"199Hg", 4.8457916}, {"205Tl", 15.6921808}};
  auto gamma = [](char const* name) { double g = 0; return find_gamma(name, g) ? g : -1.0; };  // -1: not found
  for (auto const& n : table) EXPECT_EQ(gamma(n.first), n.second) << n.first;
  for (char const* name : {"C13x", "c13", "", "14N"}) EXPECT_EQ(gamma(name), -1.0) << name;
  // SI: D = (mu0/4pi) gamma_x gamma_y hbar / (2pi r^3) at r = 1 Angstrom. 1e-9
  // relative: the program's rounded 2pi differs in the 12th digit.
  double d_si = 1e-7 * 6.7283e7 * 2.712e7 * 1.05457168e-34 / 1e-30 / (2 * M_PI);
  EXPECT_NEAR(dipolar_constant_of(6.7283, 2.712), d_si, 1e-9 * d_si);
}

TEST(ParamFile, TwelveLineMaxentFileGivesTheResultOfItsThirtyThreeLineTwin) {
  // The example data (MAS 5 kHz); PER 2PI left out is 0, the exact kernel.
  Workspace w;
  std::string data = "cn_redor.dat";  // relative: the checkout may lie at a long path
  write_file(w.dir.file(data), read_file(REDORDIST_SOURCE_DIR "/examples/cn_redor.dat"));
  write_file(w.dir.file("short.par"), "# 13C-15N REDOR by maximum entropy: only what maxent reads\nOUTPUT: run\n"
             "XYDATA: " + data + "    17 points, N_c 0 to 64\n# the set-up\nMAS: 5000\nSCALING: 1.0\nXN: 13C\nYN: 15N\n"
             "GRAIN: 0.05\nFAR: 6\nNEAR: 2.5\nMODE: fit\n");
  write_file(w.dir.file("twin.par"), param_text({{"XYDATA", data}, {"GRAIN", "0.05"}, {"PER 2PI", "0"}}));
  std::vector<std::string> results;
  for (char const* par : {"twin.par", "short.par"}) {
    RunResult r = w.run_args({par, "--solver", "maxent"}); ASSERT_EQ(r.status, 0) << r.out;
    // Standard output up to the closing list of files, which names the parameter file.
    results.push_back(r.out.substr(0, r.out.find("Files in")) + w.out(".me") + w.out(".mx") + w.out(".sa"));
  }
  EXPECT_EQ(results[0], results[1]);
  EXPECT_NE(results[1].find("Mean distance: 3.15"), std::string::npos) << results[1];
  // The keys left out are echoed with the values used.
  for (char const* echo : {"\nLAMBDA_D: none (default)\n", "\nPER 2PI: 0 (exact) (default)\n",
                           "\nNTRIES: 3 (default, not used)\n", "\nINIT TEMP: 20 0 0 (default, not used)\n",
                           "\nXN: 13C (gamma = 6.7283)\n"})
    EXPECT_NE(w.out(".log").find(echo), std::string::npos) << echo;
}

// A FIFO is read once and its text kept: a comparison's three runs (and the
// copy in the run directory) take it from memory instead of blocking on a
// second read. A device is refused, not read for ever.
TEST(InputFiles, AFifoIsReadOnceAndKeptWithItsBytes) {
  TempDir d;
  std::string fifo = d.file("p.fifo"), why;
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fifo) << "\xEF\xBB\xBF" "a\r\nb\rc"; });
  InputFiles files;
  std::vector<std::string> first, second;
  EXPECT_TRUE(files.lines(fifo, first));
  writer.join();
  EXPECT_TRUE(files.lines(fifo, second));
  EXPECT_EQ((std::vector<Row>{first, second}), (std::vector<Row>(2, {"a", "b", "c"})));  // the second read from memory
  EXPECT_EQ(*files.bytes(fifo), "\xEF\xBB\xBF" "a\r\nb\rc");
  EXPECT_FALSE(files.lines("/dev/zero", first, &why));
  EXPECT_EQ(why, "it is not a regular file, a FIFO or a pipe");
}

// --compare on a file written for maxent: the annealing's schedule keys take
// the template's values there, and only there.
TEST(InputFiles, ScheduleDefaultsOnlyWhereAsked) {
  TempDir d;
  Over left_out;
  for (char const* k : {"NTRIES", "ITERS AT TEMP", "MAX STEP SIZE", "BOLTZMANN", "INIT TEMP", "ATTEN TEMP", "MIN TEMP"}) left_out[k] = "-";
  InputFiles files;
  RunInputs in;
  std::string par = write_inputs(d, left_out, kSmallData, "");
  EXPECT_EQ(relative(read_run_inputs(files, par, "annealing", in), d).substr(0, 41),
            "parameter error: p.par has no NTRIES line");
  EXPECT_FALSE(read_run_inputs(files, par, "annealing", in, true));
  EXPECT_EQ(in.params.init_temp, (std::vector<double>{20, 0, 0}));
}
