// The tests and conversions the readers of the text input files share.
#ifndef REDORDIST_INPUT_TEXT_LINES_H
#define REDORDIST_INPUT_TEXT_LINES_H

#include <string>
#include <vector>

// 1 when the first character of the line is '#' (a comment line).
int iscomment(std::string line);

// True for a line that is empty or holds only white space (CR included).
bool is_blank(std::string const& line);

// Splits a line into its white-space separated tokens.
std::vector<std::string> split_tokens(std::string const& line);

// Parses a whole token as a double (strtod rules); false when any character
// is left over or nothing converts.
bool parse_double_token(std::string const& token, double& value);

// Parses a whole token as a decimal int (optional sign, digits, in range).
bool parse_int_token(std::string const& token, int& value);

// A token that starts like a number (a digit, or a sign or point before
// one): a reader that meets it where a number may stand takes it for a
// mistyped number, not for a remark.
bool looks_numeric(std::string const& token);

// Why a token is not a number (whole: not a whole number), quoted, with the
// fix when one is plain: "\"2,5\" is not a number; use a decimal point: 2.5".
std::string number_fault(std::string const& token, bool whole);

// Text for a message: control bytes shown as \xNN, other bytes as they are.
std::string printable(std::string const& text);

// A token quoted for a message (control bytes escaped), cut short when long.
std::string quote_token(std::string const& token);

#endif
