// ReadLineFromFile and SplitOutputLine: the line reader and field splitter
// that every parser uses.
#ifndef OLB_COLLECTORS_FILE_UTILS_H_
#define OLB_COLLECTORS_FILE_UTILS_H_

#include <fstream>
#include <string>
#include <vector>

// Clears `line`, reads the next line of `in` and trims blanks off both ends.
// False (with `line` empty) at the end of the file or when `in` is not open.
bool ReadLineFromFile(std::ifstream& in, std::string& line);

// Splits one line of the SQL tool's output into its comma-separated fields
// with the host's SplitLine (comma separator, backslash escape). The tool
// escapes nothing, so a backslash in the data stands for itself (a Windows
// path, DOMAIN\host): each is doubled first and comes through unchanged.
void SplitOutputLine(const std::string& line, std::vector<std::string>& fields);

#endif  // OLB_COLLECTORS_FILE_UTILS_H_
