// ReadLineFromFile: the line reader that every parser uses.
#ifndef OLB_COLLECTORS_FILE_UTILS_H_
#define OLB_COLLECTORS_FILE_UTILS_H_

#include <fstream>
#include <string>

// Clears `line`, reads the next line of `in` and trims blanks off both ends.
// False (with `line` empty) at the end of the file or when `in` is not open.
bool ReadLineFromFile(std::ifstream& in, std::string& line);

#endif  // OLB_COLLECTORS_FILE_UTILS_H_
