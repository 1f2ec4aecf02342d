// Reading of the small text input files: whole lines, a last line without a
// newline included, and the tests the readers share.
#ifndef REDORDIST_INPUT_TEXT_LINES_H
#define REDORDIST_INPUT_TEXT_LINES_H

#include <string>
#include <vector>

// Reads every line of a regular file into lines (without the line end;
// LF, CR LF and a lone CR end a line; a UTF-8 byte-order mark is skipped).
// Returns false when the file cannot be opened or is a directory.
bool read_text_lines(std::string const& name, std::vector<std::string>& lines);

// Reads at most max_lines lines of a regular file or a pipe (so that
// `redordist <(...)` works), each cut at max_line_bytes. Returns false when
// the file cannot be opened or is a directory or a device.
bool read_first_lines(std::string const& name, size_t max_lines, size_t max_line_bytes,
                      std::vector<std::string>& lines);

// True when name is an existing regular file (not a directory, device or FIFO).
bool is_readable_regular_file(std::string const& name);

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
